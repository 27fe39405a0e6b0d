// trnhost serve DIR: an HTTP server for renderers over a folder, one thread
// per connection, until standard input ends (when it is a pipe) or Ctrl+C.
#pragma once

#include "Args.h"

namespace trnhost {

int RunServe(const Arguments& args);

}  // namespace trnhost
