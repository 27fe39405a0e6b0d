#include "Session.h"

#include "BlockPump.h"
#include "Dlna.h"
#include "Planner.h"
#include "base/UniqueResource.h"
#include "tools/common/Utf8.h"

namespace trnhost {

using trntools::Utf8;

namespace {

const uint32_t kBlock = 65536;

// A transcoder in use by one request, counted while it lives. End stops
// and closes it at once; the destructor does the same on every other path.
class TranscoderLease {
public:
    TranscoderLease(ComPtr<ITrnMediaTranscoder> transcoder, ServeCounters& counters)
        : m_transcoder(std::move(transcoder)), m_counters(counters) {
        if (m_transcoder) ::InterlockedIncrement(&m_counters.transcoders);
    }
    ~TranscoderLease() { End(); }
    TranscoderLease(const TranscoderLease&) = delete;
    TranscoderLease& operator=(const TranscoderLease&) = delete;
    ITrnMediaTranscoder* operator->() const { return m_transcoder.get(); }
    ITrnMediaTranscoder* get() const { return m_transcoder.get(); }
    void MarkStarted() { m_started = true; }
    void End() {
        if (!m_transcoder) return;
        if (m_started) m_transcoder->Stop();
        m_transcoder->Close();
        m_transcoder.reset();
        ::InterlockedDecrement(&m_counters.transcoders);
    }

private:
    ComPtr<ITrnMediaTranscoder> m_transcoder;
    ServeCounters& m_counters;
    bool m_started = false;
};

std::string Hex(HRESULT hr) { return Utf8(HresultHex(hr)); }

// The body of a planned answer from the transcoder's blocks: the bytes
// before the planned first byte are dropped, and no more than the planned
// count is sent. A stream with a stated length that ends a little early is
// made up with silence; one that runs on is cut, and what was cut counted.
class PlannedBody : public BlockSink {
public:
    PlannedBody(http::Response& response, const dlna::AnswerPlan& plan, uint64_t drop)
        : m_response(response),
          m_chunked(plan.body == dlna::AnswerPlan::Body::Chunked),
          m_drop(drop),
          m_left(plan.count) {}
    bool Take(uint8_t* data, size_t size, bool) override {
        const size_t skipped = m_drop < size ? static_cast<size_t>(m_drop) : size;
        m_drop -= skipped;
        data += skipped;
        size -= skipped;
        const size_t taken = m_left < size ? static_cast<size_t>(m_left) : size;
        m_surplus += size - taken;
        m_left -= taken;
        m_sent += taken;
        return !taken || m_response.SendBody(reinterpret_cast<const char*>(data), taken, m_chunked);
    }
    // Silence for the bytes still owed; false when the client is gone.
    bool PadWithSilence(uint64_t bytes) {
        static const char kZeros[4096] = {};
        while (bytes) {
            const size_t size = bytes < sizeof kZeros ? static_cast<size_t>(bytes) : sizeof kZeros;
            if (!m_response.SendBody(kZeros, size, false)) return false;
            bytes -= size;
            m_left -= size;
            m_sent += size;
        }
        return true;
    }
    uint64_t left() const { return m_left; }
    uint64_t sent() const { return m_sent; }
    uint64_t surplus() const { return m_surplus; }

private:
    http::Response& m_response;
    bool m_chunked;
    uint64_t m_drop;
    uint64_t m_left;
    uint64_t m_sent = 0;
    uint64_t m_surplus = 0;
};

// Bytes a stream with a stated length may fall short by and be made up with
// silence: a resampler's tail is a frame or two. More than that is a stream
// that failed, and its answer ends short.
const uint64_t kMaxPadMs = 100;
// Read past the stated end of a stream, to learn whether the graph gave more.
const uint64_t kSurplusProbe = 4096;

// Carries out the body of a planned answer; whether the connection may
// serve another request.
bool StreamPlanned(TranscoderLease& transcoder, http::Response& response, const dlna::AnswerPlan& plan,
                   const dlna::MediaFacts& item, uint64_t drop, ServeCounters& counters) {
    const bool lengthStated = plan.body == dlna::AnswerPlan::Body::Length;
    const bool toStatedEnd = item.lpcm && item.lengthKnown && plan.first + plan.count == item.length;
    // Reads come in whole frames: an answer ending inside one reads all of it.
    const uint64_t frameBytes = uint64_t(item.channels ? item.channels : 1) * 2;
    uint64_t limit = UINT64_MAX;
    if (plan.count != UINT64_MAX)
        limit = item.lpcm ? (drop + plan.count + frameBytes - 1) / frameBytes * frameBytes : drop + plan.count;
    if (toStatedEnd) limit += kSurplusProbe;
    PlannedBody body(response, plan, drop);
    const PumpResult pumped = PumpBlocks(transcoder.get(), kBlock, limit, body);
    transcoder.End();
    bool whole = pumped.Whole();
    if (whole && item.lpcm && lengthStated && body.left()) {
        const uint64_t owed = body.left();
        whole = owed <= dlna::ByteAtMs(kMaxPadMs, item.rate, item.channels);
        if (whole) {
            ::InterlockedIncrement(&counters.lengthDifferences);
            ::InterlockedExchangeAdd(&counters.paddedFrames, static_cast<LONG>((owed + frameBytes - 1) / frameBytes));
            whole = body.PadWithSilence(owed);
        }
    }
    if (toStatedEnd && body.surplus()) {
        ::InterlockedIncrement(&counters.lengthDifferences);
        ::InterlockedExchangeAdd(&counters.cutFrames,
                                 static_cast<LONG>((body.surplus() + frameBytes - 1) / frameBytes));
    }
    response.Log(plan.status, body.sent());
    if (!whole || (plan.count != UINT64_MAX && body.left())) return false;
    if (plan.body == dlna::AnswerPlan::Body::Chunked) return response.SendLastChunk();
    return plan.body == dlna::AnswerPlan::Body::Length;
}

}  // namespace

Session::Session(const Catalog& catalog, ServeCounters& counters, bool progid)
    : m_catalog(catalog), m_counters(counters), m_progid(progid) {}

Server& Session::InfoObject() {
    if (!m_server) m_server.reset(new Server(m_progid));
    return *m_server;
}

bool Session::ServeMedia(const http::Request& request, http::Response& response, const std::string& formatName,
                         const std::string& itemName) {
    const CatalogItem* item = m_catalog.Find(itemName);
    if (!item) return response.SendError(404, "no such item");
    bool listed = false;
    for (const CatalogFormat& f : item->formats) listed = listed || f.name == formatName;
    if (!listed) return response.SendError(404, "the item is not offered as " + formatName);

    std::vector<OfferedFormat> offered;
    HRESULT hr = InfoObject().TryFormatsFor(item->path, offered);
    if (FAILED(hr)) return response.SendError(500, "GetFormatsForSource " + Hex(hr));
    const OfferedFormat* format = nullptr;
    for (const OfferedFormat& f : offered)
        if (Utf8(f.ShortName()) == formatName) format = &f;
    if (!format) return response.SendError(404, "the item is no longer offered as " + formatName);

    const bool lpcm = format->profile == L"LPCM";
    TranscoderLease transcoder(InfoObject().CreateTranscoder(), m_counters);
    {
        const PathVariant source(item->path);
        hr = transcoder->Open(source.get(), format->object.get());
    }
    if (FAILED(hr)) return response.SendError(500, "Open " + Hex(hr));

    // What the catalog learnt of the item; the unchanged file's length is
    // the transcoder's, which reads the file as it is now.
    dlna::MediaFacts facts;
    for (const CatalogFormat& f : item->formats)
        if (f.name == formatName) facts = f.facts;
    if (!lpcm) {
        LONGLONG length = -1;
        hr = transcoder->GetLength(&length);
        if (FAILED(hr) || length < 0) return response.SendError(500, "GetLength " + Hex(hr));
        facts.length = static_cast<uint64_t>(length);
        facts.lengthKnown = true;
    } else if (facts.durationMs < 0) {
        LONG durationMs = -1;
        hr = transcoder->GetDuration(&durationMs);
        if (FAILED(hr)) return response.SendError(500, "GetDuration " + Hex(hr));
        facts.durationMs = durationMs;
    }
    const dlna::AnswerPlan plan = dlna::PlanAnswer(request, facts);
    if (plan.Refused()) return response.SendError(plan.status, plan.why, plan.headers);
    const bool close = plan.body == dlna::AnswerPlan::Body::Close;
    if (response.HeadOnly()) {
        const bool sent = response.SendHead(plan.status, plan.headers, close);
        response.Log(plan.status, 0);
        return sent && !close;
    }

    // Where the transcoder starts: the byte itself for the unchanged file;
    // for LPCM a time on the grid, the bytes before the planned first one
    // then dropped.
    uint64_t drop = 0;
    if (!lpcm && plan.first) {
        hr = transcoder->SetBytePosition(static_cast<LONGLONG>(plan.first));
        if (FAILED(hr)) return response.SendError(500, "SetBytePosition " + Hex(hr));
    } else if (lpcm && plan.seekMs > 0) {
        LONG actual = 0;
        LONGLONG bytePosition = -1;
        hr = transcoder->SetTimePosition(static_cast<LONG>(plan.seekMs), &actual, &bytePosition);
        if (FAILED(hr)) return response.SendError(500, "SetTimePosition " + Hex(hr));
        const uint64_t base = dlna::ByteAtMs(actual, facts.rate, facts.channels);
        if (base > plan.first) return response.SendError(500, "the transcoder started past the asked position");
        drop = plan.first - base;
    } else {
        drop = plan.first;
    }
    hr = transcoder->Start();
    if (FAILED(hr)) return response.SendError(500, "Start " + Hex(hr));
    transcoder.MarkStarted();
    if (!response.SendHead(plan.status, plan.headers, close)) {
        transcoder.End();
        response.Log(plan.status, 0);
        return false;
    }
    return StreamPlanned(transcoder, response, plan, facts, drop, m_counters);
}

}  // namespace trnhost
