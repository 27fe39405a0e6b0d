#include "HostClasses.h"

#include "HostMediaFormat.h"
#include "HostMediaProperty.h"

namespace hostobj {

const HostClassRow g_hostClasses[] = {
    {&CLSID_HostMediaFormat, L"HostMediaObjects MediaFormat Class", &CHostMediaFormat::CreateInstance},
    {&CLSID_HostMediaProperty, L"HostMediaObjects MediaProperty Class", &CHostMediaProperty::CreateInstance},
};
const size_t g_hostClassCount = sizeof(g_hostClasses) / sizeof(g_hostClasses[0]);

const HostClassRow* FindHostClass(REFCLSID clsid) noexcept {
    for (const HostClassRow& row : g_hostClasses) {
        if (::IsEqualCLSID(clsid, *row.clsid)) return &row;
    }
    return nullptr;
}

}  // namespace hostobj
