// The module's static objects, defined in one place so that they are
// constructed in this order at process attach and destroyed in reverse order
// at process detach.
#include "ModuleGlobals.h"

#include "oplogsys/ModuleLogger.h"
#include "ModuleObject.h"
#include "ModuleLog.h"
#include "ObjectMap.h"
#include "module/FilterLoader.h"
#include "base/CriticalSection.h"
#include "base/TraceHook.h"

CTrnM4aTranscoderModule* g_pTrnModule = nullptr;

namespace {

// Destroyed last but one: releases the cached class objects after the
// module object has terminated.
struct ClassObjectCache {
    ~ClassObjectCache() { trn::ReleaseClassObjects(); }
};

// Tells the rest of the module whether the logger is alive.
class ModuleLoggerHolder {
public:
    ModuleLoggerHolder() : m_logger(L"Default", L"tarn.middle.TrnM4aTranscoder") {
        s_logger = &m_logger;
        TrnSetTraceSink(&trn::ModuleLogWrite);
    }
    ~ModuleLoggerHolder() {
        TrnSetTraceSink(nullptr);
        s_logger = nullptr;
    }
    static CModuleLogger* Get() noexcept { return s_logger; }

private:
    CModuleLogger m_logger;
    static CModuleLogger* s_logger;
};
CModuleLogger* ModuleLoggerHolder::s_logger = nullptr;

ClassObjectCache g_classObjectCache;
CTrnM4aTranscoderModule g_module;
// Destroyed after the logger and before the module object: every filter DLL
// still loaded is freed then.
struct LoadedDllSetHolder {
    LoadedDllSetHolder() noexcept { s_set = &set; }
    ~LoadedDllSetHolder() { s_set = nullptr; }
    trn::CLoadedDllSet set;
    static trn::CLoadedDllSet* s_set;
};
trn::CLoadedDllSet* LoadedDllSetHolder::s_set = nullptr;
LoadedDllSetHolder g_loadedDlls;
// A process-wide lock that nothing uses yet. Built at load time, where a
// throw would end the process; initialisation cannot fail on the supported
// systems.
CriticalSection g_csGlobal;
ModuleLoggerHolder g_moduleLogger;

}  // namespace

namespace trn {
CModuleLogger* ModuleLogger() noexcept { return ModuleLoggerHolder::Get(); }
CLoadedDllSet* LoadedDllSet() noexcept { return LoadedDllSetHolder::s_set; }
}  // namespace trn
