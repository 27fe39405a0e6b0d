#include "PlannedBody.h"

namespace trnhost {
namespace {

const uint64_t kUnbounded = UINT64_MAX;
// Read past the stated end of a stream.
const uint64_t kSurplusProbe = 4096;

uint64_t FrameBytes(const dlna::MediaFacts& item) { return uint64_t(item.channels ? item.channels : 1) * 2; }

bool ToStatedEnd(const dlna::AnswerPlan& plan, const dlna::MediaFacts& item) {
    return item.lpcm && item.lengthKnown && plan.count != kUnbounded && plan.first + plan.count == item.length;
}

}  // namespace

uint64_t ReadLimit(const dlna::AnswerPlan& plan, const dlna::MediaFacts& item, uint64_t drop) {
    if (plan.count == kUnbounded) return kUnbounded;
    if (!item.lpcm) return drop + plan.count;
    // Reads come in whole frames: an answer ending inside one reads all of it.
    const uint64_t frame = FrameBytes(item);
    const uint64_t limit = (drop + plan.count + frame - 1) / frame * frame;
    return ToStatedEnd(plan, item) ? limit + kSurplusProbe : limit;
}

PlannedBody::PlannedBody(http::Response& response, const dlna::AnswerPlan& plan, const dlna::MediaFacts& item,
                         uint64_t drop)
    : m_response(response), m_plan(plan), m_item(item), m_drop(drop), m_left(plan.count) {}

bool PlannedBody::Take(const uint8_t* data, size_t size) {
    const size_t skipped = m_drop < size ? static_cast<size_t>(m_drop) : size;
    m_drop -= skipped;
    data += skipped;
    size -= skipped;
    const size_t taken = m_left < size ? static_cast<size_t>(m_left) : size;
    m_surplus += size - taken;
    if (m_left != kUnbounded) m_left -= taken;
    m_sent += taken;
    const bool chunked = m_plan.body == dlna::AnswerPlan::Body::Chunked;
    return !taken || m_response.SendBody(reinterpret_cast<const char*>(data), taken, chunked);
}

BodyOutcome PlannedBody::Finish(bool streamWhole) {
    BodyOutcome outcome;
    const uint64_t frame = FrameBytes(m_item);
    if (ToStatedEnd(m_plan, m_item) && m_surplus) outcome.cutFrames = (m_surplus + frame - 1) / frame;
    bool whole = streamWhole;
    const bool stated = m_plan.body == dlna::AnswerPlan::Body::Length;
    if (whole && m_item.lpcm && stated && m_left) {
        whole = m_left <= dlna::ByteAtMs(kMaxPadMs, m_item.rate, m_item.channels);
        if (whole) outcome.paddedFrames = (m_left + frame - 1) / frame;
        static const char kZeros[4096] = {};
        while (whole && m_left) {
            const size_t size = m_left < sizeof kZeros ? static_cast<size_t>(m_left) : sizeof kZeros;
            whole = m_response.SendBody(kZeros, size, false);
            m_left -= size;
            m_sent += size;
        }
    }
    outcome.whole = whole && (m_plan.count == kUnbounded || m_left == 0);
    return outcome;
}

}  // namespace trnhost
