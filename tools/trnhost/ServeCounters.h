// Figures of trnhost serve shared by all connections, for /status; changed
// with interlocked operations.
#pragma once

#include <windows.h>

namespace trnhost {

struct ServeCounters {
    volatile LONG connections = 0;
    volatile LONG transcoders = 0;
    volatile LONG requests = 0;
    // LPCM streams whose graph gave a little less or more than the stated
    // length, and the frames made up with silence or cut.
    volatile LONG lengthDifferences = 0;
    volatile LONG paddedFrames = 0;
    volatile LONG cutFrames = 0;
};

}  // namespace trnhost
