// Helpers shared by the fuzz targets. A broken promise is an abort with a
// line naming it, so that libFuzzer keeps the input as a finding.
#pragma once

#include "mp4/Mp4File.h"
#include "mp4/Mp4PropertyStore.h"

#include <cstdio>
#include <cstdlib>
#include <set>

#define FUZZ_REQUIRE(cond)                                                          \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

// Every HRESULT the MP4 library may hand out: its core-code table, the
// statuses CMp4File raises itself and those of the property layer.
inline bool IsLibraryStatus(HRESULT hr) {
    static const std::set<HRESULT> known = [] {
        std::set<HRESULT> s;
        for (int code = 0; code <= 0x5100; ++code) s.insert(Mp4HresultFromSmf(code));
        for (HRESULT h : {S_OK, E_POINTER, E_UNEXPECTED, E_OUTOFMEMORY, E_INVALIDARG, E_FAIL, E_NOTIMPL, TRN_E_MP4_READ,
                          TRN_E_MP4_MISSING, TRN_E_MP4_STRUCTURE, TRN_E_MP4_406, TRN_E_MP4_MEMORY, TRN_E_MP4_NO_STREAM,
                          MP4_E_PROPERTY_UNKNOWN, MP4_E_PROPERTY_COPY})
            s.insert(h);
        return s;
    }();
    return known.count(hr) != 0;
}

// Core result codes of the procedural layer.
inline bool IsCoreResult(int code) {
    return code == SMF_ERR_NONE || Mp4HresultFromSmf(code) != E_FAIL || code == SMF_ERR_NOT_FOUND ||
           code == SMF_ERR_NO_MOOV || code == SMF_ERR_BOX || code == SMF_ERR_SCAN || code == SMF_ERR_NO_OUTPUT ||
           code == SMF_ERR_NO_FRAGMENT;
}
