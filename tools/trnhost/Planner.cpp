#include "Planner.h"

#include <cstdint>
#include <numeric>

#include "tools/presented/Presentation.h"

namespace trnhost {
namespace dlna {
namespace {

const uint64_t kUnbounded = UINT64_MAX;
// Longer than the resampler's window at any rate.
const int64_t kSettleMs = 100;

std::string Number(uint64_t n) { return std::to_string(n); }

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

// The transfer mode the client asked for, when it is one a stream may
// have; Streaming otherwise.
std::string TransferMode(const http::Request& request) {
    const std::string* asked = request.Header(kTransferModeRequest);
    if (asked) {
        for (const char* mode : {"Streaming", "Interactive", "Background"})
            if (EqualsNoCase(*asked, mode)) return mode;
    }
    return kStreamingMode;
}

AnswerPlan Refuse(int status, const std::string& why, http::HeaderList headers = http::HeaderList()) {
    AnswerPlan plan;
    plan.status = status;
    plan.why = why;
    plan.headers = std::move(headers);
    return plan;
}

std::string ContentRange(uint64_t first, uint64_t count, uint64_t length) {
    return "bytes " + Number(first) + "-" + Number(first + count - 1) + "/" + Number(length);
}

// The headers every answer with a body of the item shares.
http::HeaderList CommonHeaders(const http::Request& request, const MediaFacts& item) {
    http::HeaderList headers = {{"Content-Type", item.mimeType}};
    if (item.lengthKnown) headers.emplace_back("Accept-Ranges", "bytes");
    headers.emplace_back(kContentFeaturesHeader, ContentFeatures(item.lpcm, item.lengthKnown));
    headers.emplace_back(kTransferModeHeader, TransferMode(request));
    if (item.lpcm) headers.emplace_back("Vary", kTimeSeekHeader);
    return headers;
}

// The body's end and length headers, once first and count are known.
void Delimit(AnswerPlan& plan, const http::Request& request, bool lengthKnown) {
    if (lengthKnown) {
        plan.body = AnswerPlan::Body::Length;
        plan.headers.emplace_back("Content-Length", Number(plan.count));
    } else if (request.minorVersion >= 1) {
        plan.body = AnswerPlan::Body::Chunked;
        plan.headers.emplace_back("Transfer-Encoding", "chunked");
    } else {
        plan.body = AnswerPlan::Body::Close;
    }
}

AnswerPlan PlanNative(const http::Request& request, const MediaFacts& item, const std::string* range) {
    if (request.Header(kTimeSeekRequest)) return Refuse(406, "the unchanged file is positioned by Range, not by time");
    http::ByteRange part;
    const http::RangeResult kind = range ? http::ParseByteRange(*range, item.length, part) : http::RangeResult::Whole;
    if (kind == http::RangeResult::Malformed) return Refuse(400, "malformed Range");
    if (kind == http::RangeResult::Unsatisfiable)
        return Refuse(416, "the range starts past the end", {{"Content-Range", "bytes */" + Number(item.length)}});
    AnswerPlan plan;
    plan.headers = CommonHeaders(request, item);
    if (kind == http::RangeResult::Part) {
        plan.status = 206;
        plan.first = part.first;
        plan.count = part.last - part.first + 1;
        plan.headers.emplace_back("Content-Range", ContentRange(plan.first, plan.count, item.length));
    } else {
        plan.count = item.length;
    }
    Delimit(plan, request, true);
    return plan;
}

// A time seek on LPCM: the bytes from the start time to the end time (or
// the end), and where they lie in the full stream when its length is known.
AnswerPlan PlanTimeSeek(const http::Request& request, const MediaFacts& item, const std::string& value) {
    http::NptRange npt;
    if (!http::ParseNptRange(value, npt)) return Refuse(400, "malformed TimeSeekRange.dlna.org");
    const bool durationKnown = item.durationMs >= 0;
    const uint64_t first = ByteAtMs(npt.startMs, item.rate, item.channels);
    if ((durationKnown && npt.startMs >= item.durationMs) || (item.lengthKnown && first >= item.length))
        return Refuse(416, "the time is past the end (" + NptTotal(item.durationMs) + " s)",
                      {{kTimeSeekHeader, TimeSeekPastEnd(item.durationMs)}});
    int64_t endMs = npt.endMs;
    if (endMs >= 0 && durationKnown && endMs > item.durationMs) endMs = item.durationMs;
    uint64_t end = endMs >= 0 ? ByteAtMs(endMs, item.rate, item.channels) : kUnbounded;
    if (item.lengthKnown && end > item.length) end = item.length;

    AnswerPlan plan;
    plan.headers = CommonHeaders(request, item);
    plan.first = first;
    plan.count = end == kUnbounded ? kUnbounded : end - first;
    plan.seekMs = npt.startMs > 0 ? SeekMsFor(first, item) : -1;
    std::string answer = TimeSeekAnswer(npt.startMs, endMs, item.durationMs);
    if (item.lengthKnown && plan.count)
        answer += " bytes=" + Number(first) + "-" + Number(first + plan.count - 1) + "/" + Number(item.length);
    plan.headers.emplace_back(kTimeSeekHeader, answer);
    Delimit(plan, request, item.lengthKnown);
    return plan;
}

AnswerPlan PlanLpcm(const http::Request& request, const MediaFacts& item, const std::string* range) {
    if (item.rate == 0 || item.channels == 0) return Refuse(500, "the LPCM format names no rate or channels");
    // Players send "bytes=0-" on every request to learn whether ranges work:
    // an ordinary full request.
    if (range && http::IsWholeFromStart(*range)) range = nullptr;
    const std::string* seek = request.Header(kTimeSeekRequest);
    if (range && seek) return Refuse(400, "Range and TimeSeekRange.dlna.org together");
    if (seek) return PlanTimeSeek(request, item, *seek);
    if (range && !item.lengthKnown) {
        http::ByteRange ignored;
        if (http::ParseByteRange(*range, UINT64_MAX, ignored) == http::RangeResult::Malformed)
            return Refuse(400, "malformed Range");
        return Refuse(406, "this stream's length is not known, so it is positioned by TimeSeekRange.dlna.org only");
    }
    if (!range) {
        AnswerPlan plan;
        plan.headers = CommonHeaders(request, item);
        plan.count = item.lengthKnown ? item.length : kUnbounded;
        Delimit(plan, request, item.lengthKnown);
        return plan;
    }
    AnswerPlan plan = PlanNative(request, item, range);
    if (!plan.Refused() && plan.first) plan.seekMs = SeekMsFor(plan.first, item);
    return plan;
}

}  // namespace

uint64_t ByteAtMs(int64_t ms, uint32_t rate, uint32_t channels) {
    if (ms <= 0) return 0;
    // ms is bounded by the time grammar (2^50), rate by 192 kHz: no overflow.
    return uint64_t(ms) * rate / 1000 * channels * 2;
}

int64_t SeekMsFor(uint64_t byte, const MediaFacts& item) {
    if (item.rate == 0 || item.channels == 0) return 0;
    const uint32_t common = item.sourceRate ? std::gcd(item.sourceRate, item.rate) : item.rate;
    const int64_t step = 1000 / std::gcd(1000u, common);
    const uint64_t frame = byte / (uint64_t(item.channels) * 2);
    const int64_t ms = int64_t(frame * 1000 / item.rate);
    int64_t grid = ms - ms % step;
    while (grid > 0 && ByteAtMs(grid, item.rate, item.channels) > byte) grid -= step;
    if (item.sourceRate && item.sourceRate != item.rate) {
        const int64_t settle = (kSettleMs + step - 1) / step * step;
        grid = grid > settle ? grid - settle : 0;
    }
    return grid;
}

uint64_t OutputFrames(uint64_t presentedFrames, uint32_t sourceRate, uint32_t outputRate) {
    // The count the graph's resampler delivers, by the same code.
    return presented::OutputFrames(presentedFrames, sourceRate, outputRate);
}

MediaFacts FactsOf(const std::string& mimeType, bool lpcm, uint32_t rate, uint32_t channels,
                   const SourceFacts& source) {
    MediaFacts item;
    item.mimeType = mimeType;
    item.lpcm = lpcm;
    if (!lpcm) {
        item.lengthKnown = true;
        item.length = source.fileSize;
        if (source.known && source.rate) item.durationMs = int64_t(source.presentedFrames * 1000 / source.rate);
        return item;
    }
    item.rate = rate;
    item.channels = channels;
    if (source.known) item.sourceRate = source.rate;
    if (source.known && source.rate && rate && channels) {
        const uint64_t frames = OutputFrames(source.presentedFrames, source.rate, rate);
        item.lengthKnown = true;
        item.length = frames * channels * 2;
        item.durationMs = int64_t(frames * 1000 / rate);
    }
    return item;
}

ResFacts ResOf(const MediaFacts& item, const SourceFacts& source) {
    ResFacts res;
    res.protocolInfo = "http-get:*:" + item.mimeType + ":" + ContentFeatures(item.lpcm, item.lengthKnown);
    res.durationMs = item.durationMs;
    if (item.lengthKnown) res.size = item.length;
    if (item.lpcm) {
        res.sampleFrequency = item.rate;
        res.channels = item.channels;
        res.bitsPerSample = 16;
        res.bitrate = uint64_t(item.rate) * item.channels * 2;
    } else {
        if (source.known) {
            res.sampleFrequency = source.rate;
            res.channels = source.channels;
        }
        if (item.lengthKnown && item.durationMs > 0) res.bitrate = item.length * 1000 / uint64_t(item.durationMs);
    }
    return res;
}

AnswerPlan PlanAnswer(const http::Request& request, const MediaFacts& item) {
    const std::string* range = request.Header("range");
    return item.lpcm ? PlanLpcm(request, item, range) : PlanNative(request, item, range);
}

}  // namespace dlna
}  // namespace trnhost
