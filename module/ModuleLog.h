// The module's one door to its logger.
#pragma once

namespace trn {

// Log levels as the logger's filter understands them.
enum TraceLevel { TraceFatal = 0, TraceError = 1, TraceWarning = 2, TraceInfo = 3, TraceDebug = 4 };

// Asks the logger's filter for its subject and level and, when admitted,
// writes the message to the error log. Does nothing once the logger is gone;
// never throws.
void ModuleLogWrite(int level, const wchar_t* message) noexcept;

}  // namespace trn
