#include "OdsOutput.h"

#include <new>

namespace opLogSys {
namespace Ods {

int COutputLogSystemFactory::COutputDebugStringIO::WriteLine(const wchar_t* text) {
    OutputDebugStringW(text ? text : L"");
    OutputDebugStringW(L"\n");
    return 0;
}

int COutputLogSystemFactory::COutputDebugStringIO::Write(const wchar_t* text) {
    OutputDebugStringW(text ? text : L"");
    return 0;
}

ILogIO* COutputLogSystemFactory::CreateLogIO(const wchar_t*) { return new (std::nothrow) COutputDebugStringIO(); }

}  // namespace Ods
}  // namespace opLogSys
