// Class objects of "KisoMp4AacDecoderSubset.ax": the decoder filter only.
#include "DecoderFilter.h"

namespace {

const CFactoryTemplate kTemplates[] = {
    {&CLSID_KisoMp4AacDecoder, L"KisoMp4AacDecoder", &CreateComObject<CAacDecoderFilter>},
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return FilterDllGetClassObject(kTemplates, sizeof kTemplates / sizeof kTemplates[0], clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return FilterDllCanUnloadNow(); }
