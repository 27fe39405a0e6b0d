// The decoder stand-in's frame reader over any file: the track opens or is
// refused with a library status, every frame it lists lies inside the file,
// times never run backwards, and seeking and decoding stay in bounds.
#include "FuzzSupport.h"

#include "AacTrack.h"
#include "FrameDecoderFactory.h"
#include "StreamSegment.h"
#include "tests/mp4/MemoryStream.h"

#include <cstdint>
#include <limits>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStreamRef stream(std::vector<uint8_t>(data, data + size));
    CAacTrack track;
    const HRESULT hr = track.Open(stream.stream, size);
    FUZZ_REQUIRE(IsLibraryStatus(hr));
    FUZZ_REQUIRE(SUCCEEDED(hr) == track.IsOpen());
    if (FAILED(hr)) {
        FUZZ_REQUIRE(track.Frames().Count() == 0);
        return 0;
    }
    const CAacFrameTable& frames = track.Frames();
    FUZZ_REQUIRE(frames.Count() <= CAacFrameTable::kMaxFrames);
    uint64_t previous = 0;
    for (uint32_t i = 0; i < frames.Count(); ++i) {
        const AacFrame& frame = frames.Frame(i);
        FUZZ_REQUIRE(uint64_t(frame.offset) + frame.size <= size);
        FUZZ_REQUIRE(frame.start >= previous);
        FUZZ_REQUIRE(frame.start <= frames.EndTime());
        previous = frame.start;
        FUZZ_REQUIRE(frames.FrameStartTime(i) >= 0);
    }
    const int64_t duration = frames.Duration();
    FUZZ_REQUIRE(duration >= 0);
    for (int64_t t : {std::numeric_limits<int64_t>::min(), int64_t(-1), int64_t(0), duration / 3, duration / 2,
                      duration - 1, duration, std::numeric_limits<int64_t>::max()}) {
        const uint32_t at = frames.FrameAt(t);
        FUZZ_REQUIRE(at <= frames.Count());
        const StreamSegment segment = SegmentFor(frames, t, duration - t / 2);
        FUZZ_REQUIRE(segment.firstFrame <= segment.endFrame && segment.endFrame <= frames.Count());
        FUZZ_REQUIRE(segment.start >= 0 && segment.stop >= 0 && segment.stop <= duration);
    }

    std::unique_ptr<IAacFrameDecoder> decoder = CreateFrameDecoder(track);
    FUZZ_REQUIRE(decoder != nullptr);
    const PcmLayout& layout = track.Layout();
    std::vector<int16_t> pcm(size_t(layout.FrameBytes()) / 2);
    for (uint32_t i = 0; i < frames.Count() && i < 4; ++i) {
        const AacFrame& frame = frames.Frame(i);
        decoder->DecodeFrame(data + frame.offset, frame.size, track.FirstSampleOf(i), pcm.data());
    }
    return 0;
}
