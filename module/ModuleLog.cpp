#include "ModuleLog.h"

#include "ModuleGlobals.h"
#include "oplogsys/ModuleLogger.h"

namespace trn {

void ModuleLogWrite(int level, const wchar_t* message) noexcept {
    try {
        CModuleLogger* logger = ModuleLogger();
        if (logger == nullptr || message == nullptr) return;
        opLogSys::COutputLogSystem* system = logger->GetLogSystem();
        if (system == nullptr) return;
        opLogSys::ILogFilter* filter = system->GetFilter();
        if (filter == nullptr || filter->IsEnabled(logger->GetSubject(), level) != 0) return;
        system->ErrorWrite(message);
    } catch (...) {
        // Logging is best effort: the caller's result must not change.
    }
}

}  // namespace trn
