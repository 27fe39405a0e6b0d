#include "Session.h"

#include "BlockPump.h"
#include "Dlna.h"
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

// The stream's blocks into the answer's body, as chunks or plain.
class BodyBlocks : public BlockSink {
public:
    BodyBlocks(http::Response& response, bool chunked) : m_response(response), m_chunked(chunked) {}
    bool Take(uint8_t* data, size_t size, bool) override {
        return !size || m_response.SendBody(reinterpret_cast<const char*>(data), size, m_chunked);
    }

private:
    http::Response& m_response;
    bool m_chunked;
};

// Reads blocks and sends them until the end of the stream or limit bytes;
// false when the stream could not be sent whole. The transcoder is stopped
// and closed as soon as the reading is over, before the last chunk goes out,
// and at once when the client is gone.
bool StreamBody(TranscoderLease& transcoder, http::Response& response, uint64_t limit, uint64_t& sent, bool chunked) {
    BodyBlocks body(response, chunked);
    const PumpResult pumped = PumpBlocks(transcoder.get(), kBlock, limit, body);
    sent = pumped.bytes;
    transcoder.End();
    if (!pumped.Whole()) return false;
    return !chunked || response.SendLastChunk();
}

bool ServeLpcm(TranscoderLease& transcoder, http::Response& response, const OfferedFormat& format,
               const http::NptRange* npt) {
    const PcmFacts pcm = ParsePcmMime(format.mimeType);
    LONG durationMs = -1;
    HRESULT hr = transcoder->GetDuration(&durationMs);
    if (FAILED(hr)) return response.SendError(500, "GetDuration " + Hex(hr));
    http::HeaderList headers = {{"Content-Type", Utf8(format.mimeType)},
                                {dlna::kContentFeaturesHeader, dlna::ContentFeatures(true)},
                                {dlna::kTransferModeHeader, dlna::kStreamingMode}};
    uint64_t limit = ~uint64_t(0);
    if (npt) {
        if (npt->startMs > 0x7FFFFFFF || (durationMs >= 0 && npt->startMs >= durationMs))
            return response.SendError(416, "the time is past the end (" + dlna::NptTotal(durationMs) + " s)",
                                      {{dlna::kTimeSeekHeader, dlna::TimeSeekPastEnd(durationMs)}});
        LONG actual = 0;
        LONGLONG bytePosition = -1;
        hr = transcoder->SetTimePosition(static_cast<LONG>(npt->startMs), &actual, &bytePosition);
        if (FAILED(hr)) return response.SendError(500, "SetTimePosition " + Hex(hr));
        int64_t endMs = npt->endMs;
        if (endMs >= 0 && durationMs >= 0 && endMs > durationMs) endMs = durationMs;
        if (endMs >= 0) {
            // Whole frames from the actual start to the end asked for.
            const int64_t span = endMs > actual ? endMs - actual : 0;
            limit = static_cast<uint64_t>(span) * pcm.rate / 1000 * 2 * pcm.channels;
        }
        headers.emplace_back(dlna::kTimeSeekHeader, dlna::TimeSeekAnswer(actual, endMs, durationMs));
    }
    // A 1.0 client cannot take chunks; its stream ends with the connection.
    const bool chunked = response.CanChunk();
    if (chunked) headers.emplace_back("Transfer-Encoding", "chunked");
    if (response.HeadOnly()) {
        const bool sent = response.SendHead(200, headers, !chunked);
        response.Log(200, 0);
        return sent && chunked;
    }
    hr = transcoder->Start();
    if (FAILED(hr)) return response.SendError(500, "Start " + Hex(hr));
    transcoder.MarkStarted();
    if (!response.SendHead(200, headers, !chunked)) {
        transcoder.End();
        response.Log(200, 0);
        return false;
    }
    uint64_t sent = 0;
    const bool whole = StreamBody(transcoder, response, limit, sent, chunked);
    response.Log(200, sent);
    return whole && chunked;
}

bool ServeNative(TranscoderLease& transcoder, http::Response& response, const OfferedFormat& format,
                 const std::string* rangeHeader) {
    LONGLONG length = -1;
    HRESULT hr = transcoder->GetLength(&length);
    if (FAILED(hr) || length < 0) return response.SendError(500, "GetLength " + Hex(hr));
    const uint64_t size = static_cast<uint64_t>(length);
    http::ByteRange range;
    range.last = size ? size - 1 : 0;
    const http::RangeResult kind =
        rangeHeader ? http::ParseByteRange(*rangeHeader, size, range) : http::RangeResult::Whole;
    if (kind == http::RangeResult::Malformed) return response.SendError(400, "malformed Range");
    if (kind == http::RangeResult::Unsatisfiable)
        return response.SendError(416, "the range starts past the end",
                                  {{"Content-Range", "bytes */" + std::to_string(size)}});
    const bool part = kind == http::RangeResult::Part;
    if (!part) range.first = 0;
    const uint64_t count = size ? range.last - range.first + 1 : 0;
    http::HeaderList headers = {{"Content-Type", Utf8(format.mimeType)},
                                {"Content-Length", std::to_string(count)},
                                {"Accept-Ranges", "bytes"},
                                {dlna::kContentFeaturesHeader, dlna::ContentFeatures(false)},
                                {dlna::kTransferModeHeader, dlna::kStreamingMode}};
    if (part)
        headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                  std::to_string(range.last) + "/" + std::to_string(size));
    const int status = part ? 206 : 200;
    if (response.HeadOnly()) {
        const bool sent = response.SendHead(status, headers, false);
        response.Log(status, 0);
        return sent;
    }
    if (range.first) {
        hr = transcoder->SetBytePosition(static_cast<LONGLONG>(range.first));
        if (FAILED(hr)) return response.SendError(500, "SetBytePosition " + Hex(hr));
    }
    hr = transcoder->Start();
    if (FAILED(hr)) return response.SendError(500, "Start " + Hex(hr));
    transcoder.MarkStarted();
    if (!response.SendHead(status, headers, false)) {
        transcoder.End();
        response.Log(status, 0);
        return false;
    }
    uint64_t sent = 0;
    const bool whole = StreamBody(transcoder, response, count, sent, false) && sent == count;
    response.Log(status, sent);
    return whole;
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
    const std::string* range = request.Header("range");
    const std::string* seek = request.Header(dlna::kTimeSeekRequest);
    if (lpcm && range && !http::IsWholeFromStart(*range)) {
        http::ByteRange ignored;
        if (http::ParseByteRange(*range, ~uint64_t(0), ignored) == http::RangeResult::Malformed)
            return response.SendError(400, "malformed Range");
        return response.SendError(406, "LPCM is positioned by TimeSeekRange.dlna.org, not by bytes");
    }
    if (!lpcm && seek) return response.SendError(406, formatName + " is positioned by Range, not by time");
    http::NptRange npt;
    if (seek && !http::ParseNptRange(*seek, npt)) return response.SendError(400, "malformed TimeSeekRange.dlna.org");

    TranscoderLease transcoder(InfoObject().CreateTranscoder(), m_counters);
    {
        const PathVariant source(item->path);
        hr = transcoder->Open(source.get(), format->object.get());
    }
    if (FAILED(hr)) return response.SendError(500, "Open " + Hex(hr));
    return lpcm ? ServeLpcm(transcoder, response, *format, seek ? &npt : nullptr)
                : ServeNative(transcoder, response, *format, range);
}

}  // namespace trnhost
