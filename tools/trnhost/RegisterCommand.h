// trnhost register [DLL] / unregister [DLL]: the server's own registration
// entry points, as an installer calls them.
#pragma once

#include "Args.h"

namespace trnhost {

// Without a DLL, the server beside trnhost (or in the build tree's module
// folder).
int RunRegister(const Arguments& args, bool unregister);

}  // namespace trnhost
