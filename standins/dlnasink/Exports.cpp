// Entry points of "HostDlnaSink.dll": one class, registered under its CLSID
// only. It is deliberately kept away from the filter mapper, so that a
// graph's Render can never pick it.
#include "standins/dlnasink/DlnaSinkFilter.h"

namespace {

const CFactoryTemplate kClasses[] = {
    {&CLSID_HostDlnaSink, L"DlnaSrc", &CreateComObject<CDlnaSinkFilter>},
};
const size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return FilterDllGetClassObject(kClasses, kClassCount, clsid, iid, out);
}
STDAPI DllCanUnloadNow() { return FilterDllCanUnloadNow(); }
STDAPI DllRegisterServer() { return FilterDllRegisterServer(kClasses, kClassCount); }
STDAPI DllUnregisterServer() { return FilterDllUnregisterServer(kClasses, kClassCount); }

extern "C" void WINAPI HostDlnaSinkGetState(HostDlnaSinkState* state) {
    if (state) *state = CDlnaSinkFilter::ProcessState();
}

// For tests, which cannot reach the sink inside a transcoder's graph.
extern "C" DWORD WINAPI DlnaSinkLastBufferSizeForTest() { return CDlnaSinkFilter::LastBufferSizeGiven(); }
