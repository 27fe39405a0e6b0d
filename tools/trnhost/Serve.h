// trnhost serve: the folder's items as the server offers them, the figures
// /status reports, and one HTTP connection.
#pragma once

#include "Net.h"

#include <memory>
#include <string>
#include <vector>

#include "Server.h"

namespace trnhost {

// One offered format of an item, as the index lists it.
struct CatalogFormat {
    std::string name;      // lpcm44, lpcm48, mp4 or 3gpp
    std::string mimeType;  // UTF-8
    PropertyList properties;
};

struct CatalogItem {
    std::wstring path;  // full Windows path
    std::string name;   // UTF-8 path under the folder, '/' separated
    std::vector<CatalogFormat> formats;
};

// The items under a folder that the server offers some named format for,
// learnt once at start-up. Requests name items only through it, so no
// request path ever reaches the file system.
class Catalog {
public:
    Catalog(Server& server, const std::wstring& folder);
    const CatalogItem* Find(const std::string& name) const;
    const std::vector<CatalogItem>& items() const { return m_items; }
    size_t refused() const { return m_refused; }
    std::string Html() const;
    std::string Json() const;

private:
    std::wstring m_folder;
    std::vector<CatalogItem> m_items;
    size_t m_refused = 0;
};

// Figures shared by all connections; changed with interlocked operations.
struct ServeCounters {
    volatile LONG connections = 0;
    volatile LONG transcoders = 0;
    volatile LONG requests = 0;
};

// Answers the requests of one connection, in order, until it closes. Runs
// on the connection's own thread, in its own apartment, with its own info
// object and transcoders.
void ServeConnection(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid);

}  // namespace trnhost
