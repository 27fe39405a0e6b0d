// The body of a planned answer, from the blocks a transcoder gives: the
// bytes before the planned first byte are dropped and no more than the
// planned count is sent. A stream with a stated length that the graph ends a
// little early is made up with silence; one that runs on past the stated end
// is cut; both are counted. No platform headers; tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Http.h"
#include "Planner.h"

namespace trnhost {

// Bytes to read from the transcoder for a plan that drops `drop` bytes:
// whole frames, and past the stated end of the stream a little more, to learn
// whether the graph gave more than stated.
uint64_t ReadLimit(const dlna::AnswerPlan& plan, const dlna::MediaFacts& item, uint64_t drop);

// How a body ended.
struct BodyOutcome {
    bool whole = false;         // every planned byte went out
    uint64_t paddedFrames = 0;  // made up with silence
    uint64_t cutFrames = 0;     // given by the graph past the stated end
    bool Differed() const { return paddedFrames || cutFrames; }
};

class PlannedBody {
public:
    // Silence makes up at most this much of a stream with a stated length:
    // a resampler's tail is a frame or two. A stream shorter than that failed,
    // and its answer ends short.
    static const int64_t kMaxPadMs = 100;

    PlannedBody(http::Response& response, const dlna::AnswerPlan& plan, const dlna::MediaFacts& item, uint64_t drop);
    // One block of the stream; false when the client is gone.
    bool Take(const uint8_t* data, size_t size);
    // After the last block: streamWhole tells whether the stream was read to
    // its end (or the read limit) without a failure.
    BodyOutcome Finish(bool streamWhole);
    uint64_t sent() const { return m_sent; }

private:
    http::Response& m_response;
    const dlna::AnswerPlan& m_plan;
    const dlna::MediaFacts& m_item;
    uint64_t m_drop;
    uint64_t m_left;
    uint64_t m_sent = 0;
    uint64_t m_surplus = 0;
};

}  // namespace trnhost
