// The presented-length reader over any file: the edit list of tracks 1 and 2
// and of the first audio track reads or fails with a status, never out of
// bounds; what it finds turns into a presentation inside the decoded
// samples; and the item's figures add up.
#include "FuzzSupport.h"

#include "AudioItem.h"
#include "EditList.h"
#include "Presentation.h"
#include "tests/mp4/MemoryStream.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStreamRef stream(std::vector<uint8_t>(data, data + size));
    for (uint32_t trackId : {1u, 2u}) {
        presented::EditList list;
        const presented::EditStatus status = presented::ReadEditList(stream.stream, size, trackId, &list);
        FUZZ_REQUIRE(presented::EditStatusName(status)[0] != '?');
        FUZZ_REQUIRE(list.entries.size() <= presented::kMaxEditEntries);
        if (status != presented::EditStatus::Found) FUZZ_REQUIRE(list.entries.empty());
        for (const presented::EditEntry& e : list.entries) FUZZ_REQUIRE(e.mediaTime >= -1);
        for (uint64_t decoded : {uint64_t(0), uint64_t(size) * 1024, UINT64_MAX}) {
            const presented::Presentation p =
                presented::Present(list.entries, decoded, 44100, list.movieTimescale, list.mediaTimescale);
            FUZZ_REQUIRE(p.skip <= decoded && p.presented <= decoded - p.skip);
        }
    }
    presented::ItemLength item;
    const HRESULT hr = presented::MeasureItem(stream.stream, size, &item);
    FUZZ_REQUIRE(IsLibraryStatus(hr));
    if (SUCCEEDED(hr)) {
        FUZZ_REQUIRE(item.rate != 0 && item.channels != 0 && item.samplesPerFrame != 0);
        FUZZ_REQUIRE(item.decoded == uint64_t(item.frameCount) * item.samplesPerFrame);
        FUZZ_REQUIRE(item.skip <= item.decoded && item.presented <= item.decoded - item.skip);
        FUZZ_REQUIRE(presented::OutputFrames(item.presented, item.rate, 48000) <= item.presented * 48000 / 8000 + 1);
    } else {
        FUZZ_REQUIRE(item.presented == 0 && item.frameCount == 0);
    }
    return 0;
}
