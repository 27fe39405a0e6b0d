// Entry points of "KisoWaveFitterFilter.ax". The product loads it from its
// own folder and asks DllGetClassObject directly; nothing is registered.
#include "standins/wavefitter/WaveFitterFilter.h"

namespace {

const CFactoryTemplate kClasses[] = {
    {&CLSID_KisoWaveFitter, L"KisoWaveFitter", &CreateComObject<CWaveFitterFilter>},
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return FilterDllGetClassObject(kClasses, sizeof kClasses / sizeof kClasses[0], clsid, iid, out);
}
STDAPI DllCanUnloadNow() { return FilterDllCanUnloadNow(); }

// For tests, which cannot reach the fitter inside a transcoder's graph.
extern "C" DWORD WINAPI WaveFitterLastOptionForTest() { return CWaveFitterFilter::LastOptionGiven(); }
