// One connection of trnhost serve: reads its requests in order, answers the
// indexes and the status itself, and hands media requests to its session.
#pragma once

#include "Net.h"

#include "Catalog.h"
#include "ServeCounters.h"

namespace trnhost {

// Answers the requests of one connection, in order, until it closes. Runs
// on the connection's own thread, in its own apartment, with its own info
// object and transcoders. Reports its failures on standard error.
void ServeConnection(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid);

}  // namespace trnhost
