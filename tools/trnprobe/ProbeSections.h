// The sections of one trnprobe line. Each writes its keys into the open
// object; a new section is one more row in kProbeSections.
#pragma once

#include "mp4/Mp4File.h"
#include "tools/common/Json.h"

#include <string>
#include <vector>

using trntools::JsonWriter;

struct ProbeContext {
    std::string displayName;
    std::wstring path;
    HRESULT openResult = S_OK;       // stream open, then Initialize
    bool opened = false;             // the file itself could be opened
    std::vector<char> streamBuffer;  // stdio buffer of the file; outlives `file`
    CMp4File file;
};

std::string HresultText(HRESULT hr);
std::string FourCCText(uint32_t code);

void WriteFileSection(JsonWriter& json, ProbeContext& ctx);
void WriteBrandSection(JsonWriter& json, ProbeContext& ctx);
void WriteTracksSection(JsonWriter& json, ProbeContext& ctx);
void WriteAudioSection(JsonWriter& json, ProbeContext& ctx);
void WritePropertiesSection(JsonWriter& json, ProbeContext& ctx);
#ifdef _WIN32
// The module's own parser runs only in the Windows build.
void WriteFacadeSection(JsonWriter& json, ProbeContext& ctx);
#endif

using ProbeSection = void (*)(JsonWriter&, ProbeContext&);
// clang-format off
constexpr ProbeSection kProbeSections[] = {
    WriteFileSection,
    WriteBrandSection,
    WriteTracksSection,
    WriteAudioSection,
    WritePropertiesSection,
#ifdef _WIN32
    WriteFacadeSection,
#endif
};
// clang-format on
