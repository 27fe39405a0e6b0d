// CMp4File over an in-memory stream, followed by every query a caller may
// make: tracks, sample descriptions, decoder configuration, timing, binary
// properties and the loaded metadata. Every answer must be a library status.
#include "FuzzSupport.h"

#include "mp4/Mp4PropertyTable.h"
#include "mp4/SmfEsDescriptor.h"
#include "tests/mp4/MemoryStream.h"

#include <algorithm>

namespace {

void QueryCore(const SmfMovieHandle* handle) {
    uint16_t count = 0;
    FUZZ_REQUIRE(IsCoreResult(SmfGetTrackCount(handle, &count)));
    const SmfMovie* movie = handle->movie.get();
    if (!movie) return;
    for (const auto& track : movie->tracks) {
        uint32_t value = 0;
        FUZZ_REQUIRE(IsCoreResult(SmfGetHandlerType(track.get(), &value)));
        FUZZ_REQUIRE(IsCoreResult(SmfGetMediaTimescale(track.get(), &value)));
        FUZZ_REQUIRE(IsCoreResult(SmfGetMediaDuration(track.get(), &value)));
        uint64_t total = 0;
        FUZZ_REQUIRE(IsCoreResult(SmfGetSampleCursorDuration(track.get(), &total)));
        uint32_t entries = 0;
        if (SMF_FAILED(SmfGetSampleDescriptionCount(track.get(), &entries))) continue;
        // One past the end and index 0 must be refused, not read.
        for (uint32_t i = 0; i <= entries + 1 && i < 64; ++i) {
            SmfSampleEntry* entry = nullptr;
            const int code = SmfGetSampleDescription(track.get(), i, &entry);
            FUZZ_REQUIRE(IsCoreResult(code));
            if (SMF_FAILED(code)) continue;
            FUZZ_REQUIRE(entry != nullptr && i >= 1 && i <= entries);
            SmfAudioDescription audio;
            FUZZ_REQUIRE(IsCoreResult(SmfGetAudioDescription(track.get(), entry, &audio)));
            SmfEsDescriptor es;
            FUZZ_REQUIRE(IsCoreResult(SmfGetEsDescriptor(entry, &es)));
        }
    }
}

void QueryFile(CMp4File& mp4) {
    std::vector<uint32_t> audio, video;
    FUZZ_REQUIRE(mp4.GetTrackIds(audio, video) == S_OK);
    FUZZ_REQUIRE(std::is_sorted(audio.begin(), audio.end()));
    FUZZ_REQUIRE(std::is_sorted(video.begin(), video.end()));
    std::vector<uint32_t> all = audio;
    all.insert(all.end(), video.begin(), video.end());
    all.push_back(0);
    for (uint32_t id : all) {
        const HRESULT selected = mp4.SetAudioTrackId(id);
        FUZZ_REQUIRE(IsLibraryStatus(selected));
        FUZZ_REQUIRE(SUCCEEDED(selected) == (std::find(audio.begin(), audio.end(), id) != audio.end()));
        if (FAILED(selected)) continue;
        std::vector<uint8_t> dsi;
        uint32_t a = 0, b = 0, c = 0;
        HRESULT hr = mp4.GetDecoderSpecificInformation(dsi, &a, &b, &c);
        FUZZ_REQUIRE(IsLibraryStatus(hr));
        FUZZ_REQUIRE(FAILED(hr) ? dsi.empty() : !dsi.empty());
        FUZZ_REQUIRE(IsLibraryStatus(mp4.GetAudioSampleDescription(&a, &b, &c)));
        FUZZ_REQUIRE(IsLibraryStatus(mp4.GetMediaDuration(&a)));
        FUZZ_REQUIRE(IsLibraryStatus(mp4.GetMediaTimescale(&a)));
    }

    size_t rows = 0;
    const Mp4PropertyRow* table = Mp4PropertyRows(&rows);
    for (size_t i = 0; i <= rows; ++i) {
        const DWORD id = i < rows ? table[i].dwPropertyId : 0xFFFF;
        std::vector<std::wstring> descriptions;
        std::vector<std::vector<BYTE>> items;
        const HRESULT hr = mp4.GetBinaryProperty(id, descriptions, items);
        FUZZ_REQUIRE(IsLibraryStatus(hr));
        FUZZ_REQUIRE(descriptions.size() == items.size());
    }
    const std::string json = Mp4PropertiesToJson(mp4.Properties());
    FUZZ_REQUIRE(!json.empty() && json.front() == '[' && json.back() == ']');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStreamRef stream(std::vector<uint8_t>(data, data + size));
    CMp4File mp4;
    const HRESULT hr = mp4.Initialize(stream.stream);
    FUZZ_REQUIRE(IsLibraryStatus(hr));
    if (SUCCEEDED(hr)) {
        FUZZ_REQUIRE(mp4.Movie() != nullptr);
        QueryFile(mp4);
    }
    // The core queries also run on whatever a failed parse left behind.
    SmfMovieHandle* raw = nullptr;
    FUZZ_REQUIRE(SmfCreateHandle(&raw) == SMF_ERR_NONE);
    SmfHandlePtr handle(raw);
    MemoryStreamRef again(std::vector<uint8_t>(data, data + size));
    SmfAttachStream(raw, again.stream);
    uint32_t status = 0;
    FUZZ_REQUIRE(IsCoreResult(SmfParse(raw, &status, SMF_PARSE_FRAGMENTS)));
    QueryCore(raw);
    return 0;
}
