// trnhost stream FILE FORMAT -o OUT: one transcoding, as a media server
// streams it to a renderer, written to a file or standard output.
#pragma once

#include "Args.h"

namespace trnhost {

int RunStream(const Arguments& args);

}  // namespace trnhost
