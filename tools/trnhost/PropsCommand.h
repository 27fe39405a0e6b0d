// trnhost props FILE FORMAT: the properties the server gives a file in one
// offered format.
#pragma once

#include "Args.h"

namespace trnhost {

int RunProps(const Arguments& args);

}  // namespace trnhost
