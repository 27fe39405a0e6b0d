#include "ObjectMap.h"

// The one include that runs up the layers: the object map names the coclasses.
#include "info/M4aConverterInfo.h"
#include "transcoder/M4aConverter.h"
#include "ModuleIds.h"
#include "ModuleObject.h"
#include "Registrar.h"
#include "ResourceIds.h"
#include "base/CriticalSection.h"

namespace trn {
namespace {

TrnObjectMapEntry g_objectMap[] = {
    {&CLSID_M4aConverter, IDR_M4ACONVERTER, &TrnCreateInstance<CM4aConverter>, {}, 0},
    {&CLSID_M4aConverterInfo, IDR_M4ACONVERTERINFO, &TrnCreateInstance<CM4aConverterInfo>, {}, 0},
};

// Registration runs with the system default locale on the calling thread and
// gives the thread its own locale back whatever happens.
class ThreadLocaleScope {
public:
    ThreadLocaleScope() noexcept : m_lcidSaved(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~ThreadLocaleScope() { ::SetThreadLocale(m_lcidSaved); }

private:
    LCID m_lcidSaved;
};

}  // namespace

TrnObjectMapEntry* ObjectMapBegin() noexcept { return g_objectMap; }
TrnObjectMapEntry* ObjectMapEnd() noexcept { return g_objectMap + sizeof(g_objectMap) / sizeof(g_objectMap[0]); }

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    CTrnM4aTranscoderModule* module = TrnModule();
    if (module == nullptr) return E_UNEXPECTED;
    for (TrnObjectMapEntry* entry = ObjectMapBegin(); entry != ObjectMapEnd(); ++entry) {
        if (!::IsEqualCLSID(*entry->pclsid, clsid)) continue;
        CriticalSectionGuard guard(module->StaticDataLock());
        if (!entry->pCachedFactory) {
            const HRESULT hr = CComObjectCached::Create(entry->creator, entry->pCachedFactory.put());
            if (FAILED(hr)) return hr;
        }
        return entry->pCachedFactory->QueryInterface(iid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() noexcept {
    for (TrnObjectMapEntry* entry = ObjectMapBegin(); entry != ObjectMapEnd(); ++entry) {
        entry->pCachedFactory.reset();
    }
}

HRESULT RegisterServer() noexcept {
    ThreadLocaleScope locale;
    HRESULT hr = UpdateRegistryFromResource(IDR_TRNM4ATRANSCODER, true);
    for (TrnObjectMapEntry* entry = ObjectMapBegin(); SUCCEEDED(hr) && entry != ObjectMapEnd(); ++entry) {
        hr = UpdateRegistryFromResource(entry->registryResource, true);
    }
    return hr;
}

HRESULT UnregisterServer() noexcept {
    ThreadLocaleScope locale;
    HRESULT hr = S_OK;
    for (TrnObjectMapEntry* entry = ObjectMapBegin(); SUCCEEDED(hr) && entry != ObjectMapEnd(); ++entry) {
        hr = UpdateRegistryFromResource(entry->registryResource, false);
    }
    if (SUCCEEDED(hr)) hr = UpdateRegistryFromResource(IDR_TRNM4ATRANSCODER, false);
    return hr;
}

}  // namespace trn
