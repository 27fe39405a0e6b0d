// Access to the module's process-wide objects.
#pragma once

class CModuleLogger;

namespace trn {

// The module logger, or null before process attach finished constructing it
// and after process detach destroyed it.
CModuleLogger* ModuleLogger() noexcept;

}  // namespace trn
