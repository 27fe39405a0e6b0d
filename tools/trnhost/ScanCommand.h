// trnhost scan DIR: what the server offers for every MP4 audio file under a
// folder, as a media server's library scan asks, with a summary table.
#pragma once

#include "Args.h"

namespace trnhost {

int RunScan(const Arguments& args);

}  // namespace trnhost
