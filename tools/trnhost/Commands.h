// The commands of trnhost. Each returns its exit code and throws HostError
// for a failure that ends it.
#pragma once

#include "Args.h"

namespace trnhost {

int RunFormats(const Arguments& args);
int RunProps(const Arguments& args);
int RunScan(const Arguments& args);
int RunStream(const Arguments& args);
int RunRegister(const Arguments& args, bool unregister);

}  // namespace trnhost
