// The media side of one connection of trnhost serve: the calls to the server
// that stream an item, through an info object of the connection's own
// (created when first needed) and a transcoder per request.
#pragma once

#include <memory>
#include <string>

#include "Catalog.h"
#include "Http.h"
#include "Server.h"
#include "ServeCounters.h"

namespace trnhost {

class Session {
public:
    Session(const Catalog& catalog, ServeCounters& counters, bool progid);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Answers a request for an item in a named format: the converted LPCM
    // stream, positioned by time, or the unchanged file, positioned by bytes.
    // Whether the connection may serve another request. Throws HostError only
    // before an answer is under way: the info object or a transcoder could
    // not be had.
    bool ServeMedia(const http::Request& request, http::Response& response, const std::string& formatName,
                    const std::string& itemName);

private:
    Server& InfoObject();

    const Catalog& m_catalog;
    ServeCounters& m_counters;
    bool m_progid;
    std::unique_ptr<Server> m_server;
};

}  // namespace trnhost
