// What an answer to a media request will be, decided before anything is
// sent: the status, every header, which bytes of the full stream the body
// carries and where the transcoder must be positioned to give them. The
// session only carries the plan out. No platform headers; tested natively.
#pragma once

#include <cstdint>
#include <string>

#include "Dlna.h"
#include "Http.h"

namespace trnhost {
namespace dlna {

// What is known of an item in one format before the first byte.
struct MediaFacts {
    std::string mimeType;
    bool lpcm = false;
    // The exact byte count of the full stream; LPCM may lack it when the
    // file's tables could not be read, and is then streamed without a length.
    bool lengthKnown = false;
    uint64_t length = 0;
    // LPCM only: the output's rate and channels, and the exact duration
    // (-1 when unknown).
    uint32_t rate = 0;
    uint32_t channels = 0;
    int64_t durationMs = -1;
    // The rate the decoder delivers before the output rate is fitted (0 when
    // unknown): positions must be whole frames at both rates.
    uint32_t sourceRate = 0;
};

// What the file's tables say of the source, as the decoder will present it:
// the sample frames left after the edit list, at the decoding rate.
struct SourceFacts {
    bool known = false;
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint64_t presentedFrames = 0;
    uint64_t fileSize = 0;
};

// The facts of one offered format of a source: for LPCM (at rate and
// channels) the exact length and duration of the converted stream; for the
// unchanged file its size.
MediaFacts FactsOf(const std::string& mimeType, bool lpcm, uint32_t rate, uint32_t channels, const SourceFacts& source);
// Frames at the output rate that presented frames at the source rate become.
uint64_t OutputFrames(uint64_t presentedFrames, uint32_t sourceRate, uint32_t outputRate);

// What a ContentDirectory res element says of an offered format.
struct ResFacts {
    std::string protocolInfo;
    int64_t durationMs = -1;  // -1: unknown, as every figure at 0
    uint64_t size = 0;
    uint64_t bitrate = 0;  // bytes per second
    uint32_t sampleFrequency = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
};
ResFacts ResOf(const MediaFacts& item, const SourceFacts& source);

struct AnswerPlan {
    int status = 200;  // 200 or 206 with a body, else a refusal
    std::string why;   // the refusal's reason
    http::HeaderList headers;
    // How the body ends: by Content-Length, by chunks, or by closing.
    enum class Body { Length, Chunked, Close } body = Body::Length;
    // The body carries bytes [first, first + count) of the full stream;
    // count is unbounded (UINT64_MAX) for a stream without a known length.
    uint64_t first = 0;
    uint64_t count = 0;
    // LPCM: the time to position the transcoder at (-1: from the start);
    // the body's first byte is then first minus the byte of that time.
    int64_t seekMs = -1;
    bool Refused() const { return status >= 400; }
};

// Byte of the full LPCM stream at a time: whole sample frames, rounded down.
uint64_t ByteAtMs(int64_t ms, uint32_t rate, uint32_t channels);
// Where the transcoder starts for the bytes from `byte` on: a time that is
// a whole number of frames at the output and the source rate (10 ms for
// 44.1 kHz, 20 ms for 22.05 kHz into 44.1 kHz), at or before the byte; and,
// when the rates differ, a tenth of a second before that, so that the
// resampler has settled when the byte comes. 0: from the start.
int64_t SeekMsFor(uint64_t byte, const MediaFacts& item);

// Decides the answer to a GET or HEAD of an item in a format.
AnswerPlan PlanAnswer(const http::Request& request, const MediaFacts& item);

}  // namespace dlna
}  // namespace trnhost
