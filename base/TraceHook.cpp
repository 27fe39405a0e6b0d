#include "base/TraceHook.h"

#include <atomic>
#include <string>

namespace {

std::atomic<TrnTraceSink> g_pfnTraceSink{nullptr};

}  // namespace

TrnTraceSink TrnSetTraceSink(TrnTraceSink pfnSink) noexcept { return g_pfnTraceSink.exchange(pfnSink); }

void TrnTrace(int nLevel, const wchar_t* pszText, const wchar_t* pszSourceFile, int nLine) noexcept {
    TrnTraceSink pfnSink = g_pfnTraceSink.load();
    if (pfnSink == nullptr) {
        return;
    }
    try {
        std::wstring strEntry(pszText != nullptr ? pszText : L"");
        strEntry += L" {";
        strEntry += pszSourceFile != nullptr ? pszSourceFile : L"";
        strEntry += L',';
        strEntry += std::to_wstring(nLine);
        strEntry += L'}';
        pfnSink(nLevel, strEntry.c_str());
    } catch (...) {
        // Tracing is best effort; the caller's own result stands.
    }
}
