// The items under a folder that the server offers some named format for,
// learnt once at start-up. Requests name items only through it, so no
// request path ever reaches the file system.
#pragma once

#include <string>
#include <vector>

#include "Server.h"
#include "Views.h"

namespace trnhost {

class Catalog {
public:
    // Asks the server about every file under the folder; throws HostError
    // when the folder cannot be listed.
    Catalog(Server& server, const std::wstring& folder);
    const CatalogItem* Find(const std::string& name) const;
    const std::wstring& folder() const { return m_folder; }
    const std::vector<CatalogItem>& items() const { return m_items; }
    size_t refused() const { return m_refused; }

private:
    std::wstring m_folder;
    std::vector<CatalogItem> m_items;
    size_t m_refused = 0;
};

}  // namespace trnhost
