#include "ModuleObject.h"

#include "ModuleIds.h"
#include "Registrar.h"
#include "base/CriticalSection.h"

// Lives beside the module's static objects so that linking either pulls in both.
extern CTrnM4aTranscoderModule* g_pTrnModule;

namespace {

const CLSID kClsidStdGlobalInterfaceTable = {
    0x00000323, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

CTrnM4aTranscoderModule* TrnModule() noexcept { return g_pTrnModule; }

CTrnM4aTranscoderModule::CTrnM4aTranscoderModule() noexcept
    : m_cbSize(0), m_nLockCnt(0), m_guidLibId(LIBID_MediaTranscoderLib), m_bInitFailed(false) {
    g_pTrnModule = this;
    if (m_cs.TryInit()) {
        m_cbSize = sizeof(*this);
    } else {
        m_bInitFailed = true;
    }
}

CTrnM4aTranscoderModule::~CTrnM4aTranscoderModule() {
    Term();
    if (g_pTrnModule == this) g_pTrnModule = nullptr;
}

void CTrnM4aTranscoderModule::Term() noexcept {
    if (m_cbSize == 0) return;
    while (!m_vecTermFuncs.empty()) {
        const std::pair<TermFunc, void*> entry = m_vecTermFuncs.back();
        m_vecTermFuncs.pop_back();
        entry.first(entry.second);
    }
    m_pGIT.reset();
    m_cbSize = 0;
}

LONG CTrnM4aTranscoderModule::Lock() noexcept { return ::InterlockedIncrement(&m_nLockCnt); }

LONG CTrnM4aTranscoderModule::Unlock() noexcept { return ::InterlockedDecrement(&m_nLockCnt); }

LONG CTrnM4aTranscoderModule::GetLockCount() const noexcept { return m_nLockCnt; }

HRESULT CTrnM4aTranscoderModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept {
    if (table == nullptr) return E_POINTER;
    *table = nullptr;
    CriticalSectionGuard guard(m_cs);
    if (!m_pGIT) {
        ComPtr<IGlobalInterfaceTable> created;
        const HRESULT hr = ::CoCreateInstance(kClsidStdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                              kIidGlobalInterfaceTable, created.put_void());
        if (FAILED(hr)) return hr;
        m_pGIT = created;
    }
    m_pGIT.copy_to(table);
    return S_OK;
}

HRESULT CTrnM4aTranscoderModule::AddRegistryReplacements(IRegistrar* registrar) noexcept {
    if (registrar == nullptr) return E_POINTER;
    return registrar->AddReplacement(L"APPID", TRN_APPID_TEXT);
}

HRESULT CTrnM4aTranscoderModule::AddTermFunc(TermFunc func, void* context) noexcept {
    if (func == nullptr) return E_INVALIDARG;
    try {
        CriticalSectionGuard guard(m_cs);
        m_vecTermFuncs.emplace_back(func, context);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
