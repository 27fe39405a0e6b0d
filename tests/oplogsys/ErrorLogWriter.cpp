// Test helper: writes N error entries "writer-<id>-<n>" to one error log.
// Usage: oplogsys_errorlog_writer <path> <count> <id>
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "oplogsys/LogSysInfo.h"
#include "oplogsys/OutputLogSystem.h"

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) return 2;
    const int count = _wtoi(argv[2]);
    const int id = _wtoi(argv[3]);
    {
        opLogSys::Common::CRefPtr<opLogSys::CLogSysInfo> info(new opLogSys::CLogSysInfo());
        opLogSys::COutputLogSystem system(L"tarn.debug", info.get(), argv[1], 0xA00000, false);
        for (int n = 0; n < count; ++n) system.ErrorPrintf(L"writer-%d-%d", id, n);
    }
    LocalFree(argv);
    return 0;
}
