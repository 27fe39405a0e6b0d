// trnhost formats FILE...: the formats the server offers for each file.
#pragma once

#include "Args.h"

namespace trnhost {

// Goes on after a file that fails; exits with the first failure's code.
int RunFormats(const Arguments& args);

}  // namespace trnhost
