#include "Session.h"

#include "BlockPump.h"
#include "Dlna.h"
#include "PlannedBody.h"
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

// A planned body fed by the pump.
class PumpedBody : public BlockSink {
public:
    explicit PumpedBody(PlannedBody& body) : m_body(body) {}
    bool Take(uint8_t* data, size_t size, bool) override { return m_body.Take(data, size); }

private:
    PlannedBody& m_body;
};

// Carries out the body of a planned answer; whether the connection may
// serve another request.
bool StreamPlanned(TranscoderLease& transcoder, http::Response& response, const dlna::AnswerPlan& plan,
                   const dlna::MediaFacts& item, uint64_t drop, ServeCounters& counters) {
    PlannedBody body(response, plan, item, drop);
    PumpedBody pumped(body);
    const PumpResult result = PumpBlocks(transcoder.get(), kBlock, ReadLimit(plan, item, drop), pumped);
    transcoder.End();
    const BodyOutcome outcome = body.Finish(result.Whole());
    if (outcome.Differed()) {
        ::InterlockedIncrement(&counters.lengthDifferences);
        ::InterlockedExchangeAdd(&counters.paddedFrames, static_cast<LONG>(outcome.paddedFrames));
        ::InterlockedExchangeAdd(&counters.cutFrames, static_cast<LONG>(outcome.cutFrames));
    }
    response.Log(plan.status, body.sent());
    if (!outcome.whole) return false;
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
