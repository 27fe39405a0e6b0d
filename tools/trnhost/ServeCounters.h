// Figures of trnhost serve shared by all connections, for /status; changed
// with interlocked operations.
#pragma once

#include <windows.h>

namespace trnhost {

struct ServeCounters {
    volatile LONG connections = 0;
    volatile LONG transcoders = 0;
    volatile LONG requests = 0;
};

}  // namespace trnhost
