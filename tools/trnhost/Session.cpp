// One connection of trnhost serve: reads requests, answers indexes and
// status, and streams items through a transcoder of its own.
#include "Serve.h"

#include <oleauto.h>

#include <new>

#include "Http.h"
#include "Media.h"
#include "Output.h"
#include "tools/common/ProcessCounts.h"
#include "base/UniqueResource.h"

namespace trnhost {
namespace {

const uint32_t kBlock = 65536;
// A keep-alive connection with no new request is closed after this long.
const DWORD kIdleMs = 30000;
// Reads without data and without an end before a stream is given up (about a minute).
const unsigned kMaxIdleReads = 60000;

typedef std::vector<std::pair<std::string, std::string>> HeaderList;

// Graphs are built and torn down one at a time: the platform's audio
// renderer, which the graph build passes through, refuses to be created by
// several at once (Start fails with VFW_E_CANNOT_RENDER), and its graphs
// stopped at the same moment fault in the platform.
CRITICAL_SECTION& GraphLock() {
    static CriticalSection lock;
    return lock.Get();
}

HRESULT StartSerialised(ITrnMediaTranscoder* transcoder) {
    CriticalSectionGuard guard(GraphLock());
    return transcoder->Start();
}

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
        {
            CriticalSectionGuard guard(GraphLock());
            if (m_started) m_transcoder->Stop();
            m_transcoder->Close();
        }
        m_transcoder.reset();
        ::InterlockedDecrement(&m_counters.transcoders);
    }

private:
    ComPtr<ITrnMediaTranscoder> m_transcoder;
    ServeCounters& m_counters;
    bool m_started = false;
};

// One Read's bytes; empty when the transcoder had none this time.
struct Block {
    HRESULT hr = S_OK;
    bool end = false;
    UniqueSafeArray data;
    const char* bytes = nullptr;
    size_t size = 0;
};

// Reads one block and exposes its bytes (the array stays locked while held).
class BlockReader {
public:
    explicit BlockReader(ITrnMediaTranscoder* transcoder) : m_transcoder(transcoder) {}
    ~BlockReader() { Unlock(); }
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;
    bool Next(uint32_t count, Block& out) {
        Unlock();
        out = Block();
        SAFEARRAY* raw = nullptr;
        VARIANT_BOOL end = VARIANT_FALSE;
        out.hr = m_transcoder->Read(count, &raw, &end);
        if (FAILED(out.hr)) return false;
        m_data.reset(raw);
        out.end = end == VARIANT_TRUE;
        if (!m_data) return true;
        if (::SafeArrayGetDim(m_data.get()) != 1 || ::SafeArrayGetElemsize(m_data.get()) != 1) {
            out.hr = E_UNEXPECTED;
            return false;
        }
        out.size = m_data.get()->rgsabound[0].cElements;
        if (!out.size) return true;
        void* bytes = nullptr;
        out.hr = ::SafeArrayAccessData(m_data.get(), &bytes);
        if (FAILED(out.hr)) return false;
        m_locked = true;
        out.bytes = static_cast<const char*>(bytes);
        return true;
    }

private:
    void Unlock() {
        if (m_locked) ::SafeArrayUnaccessData(m_data.get());
        m_locked = false;
    }
    ITrnMediaTranscoder* m_transcoder;
    UniqueSafeArray m_data;
    bool m_locked = false;
};

std::string StatusJson(const ServeCounters& counters) {
    const trntools::ProcessCounts process = trntools::CountThisProcess();
    return "{\"connections\":" + std::to_string(counters.connections) +
           ",\"transcoders\":" + std::to_string(counters.transcoders) +
           ",\"requests\":" + std::to_string(counters.requests) + ",\"threads\":" + std::to_string(process.threads) +
           ",\"handles\":" + std::to_string(process.handles) + ",\"counted\":" + (process.ok ? "true" : "false") +
           "}\n";
}

class Session {
public:
    Session(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid)
        : m_socket(s), m_catalog(catalog), m_counters(counters), m_progid(progid), m_peer(PeerAddress(s)) {}

    void Run() {
        SetReceiveTimeout(m_socket, kIdleMs);
        for (;;) {
            std::string head;
            int refusal = 0;
            std::string reason;
            if (!ReadHead(head, refusal, reason)) {
                if (refusal) Refuse(refusal, reason);
                return;
            }
            ::InterlockedIncrement(&m_counters.requests);
            http::Request request;
            const int status = http::ParseRequestHead(head, request, reason);
            if (status) {
                Refuse(status, reason);
                return;
            }
            m_request = &request;
            const bool goOn = Handle(request);
            m_request = nullptr;
            if (!goOn || !request.KeepAlive()) return;
        }
    }

private:
    // The next request head into head; false when the connection ends,
    // with the status to refuse it with (0: end quietly).
    bool ReadHead(std::string& head, int& refusal, std::string& reason) {
        char chunk[4096];
        for (;;) {
            m_buffer.erase(0, http::SkipEmptyLines(m_buffer.data(), m_buffer.size()));
            const size_t end = http::FindHeadEnd(m_buffer.data(), m_buffer.size());
            if (end && end <= http::kMaxHeadBytes) {
                head = m_buffer.substr(0, end);
                m_buffer.erase(0, end);
                return true;
            }
            if (end || m_buffer.size() > http::kMaxHeadBytes) {
                refusal = 400;
                reason = "request head larger than " + std::to_string(http::kMaxHeadBytes) + " bytes";
                return false;
            }
            const int got = ReceiveSome(m_socket, chunk, sizeof chunk);
            if (got <= 0) {
                // Gone, idle too long, or stopped half-way through a head.
                if (got < 0 && !m_buffer.empty()) {
                    refusal = 408;
                    reason = "incomplete request head";
                }
                return false;
            }
            m_buffer.append(chunk, static_cast<size_t>(got));
        }
    }

    void Log(int status, uint64_t bytes) {
        const std::string line = m_request ? m_request->method + " " + m_request->target : std::string("-");
        const std::string text = m_peer + " \"" + line + "\" " + std::to_string(status) + " " + std::to_string(bytes);
        PrintErr(std::wstring(text.begin(), text.end()) + L"\n");
    }

    bool HeadOnly() const { return m_request && m_request->method == "HEAD"; }

    // The status line and headers; Connection: close when closing.
    bool SendHead(int status, const HeaderList& headers, bool close) {
        const int minor = m_request ? m_request->minorVersion : 1;
        std::string text = "HTTP/1." + std::to_string(minor) + " " + std::to_string(status) + " " +
                           http::ReasonPhrase(status) + "\r\nServer: trnhost\r\n";
        for (const auto& h : headers) text += h.first + ": " + h.second + "\r\n";
        if (close)
            text += "Connection: close\r\n";
        else if (minor == 0)
            text += "Connection: keep-alive\r\n";
        text += "\r\n";
        return SendAll(m_socket, text);
    }

    // A whole answer with a known body (not sent for HEAD).
    bool SendWhole(int status, const char* type, const std::string& body, HeaderList headers = HeaderList(),
                   bool close = false) {
        headers.emplace_back("Content-Type", type);
        headers.emplace_back("Content-Length", std::to_string(body.size()));
        const bool sent = SendHead(status, headers, close) && (HeadOnly() || SendAll(m_socket, body));
        Log(status, HeadOnly() ? 0 : body.size());
        return sent && !close;
    }

    bool SendError(int status, const std::string& why, HeaderList headers = HeaderList(), bool close = false) {
        return SendWhole(status, "text/plain; charset=utf-8",
                         std::to_string(status) + " " + http::ReasonPhrase(status) + ": " + why + "\n", headers, close);
    }

    // A request that cannot be read: answered, then the connection ends
    // after the peer's remaining bytes are drained, so the answer is not lost
    // to a reset.
    void Refuse(int status, const std::string& reason) {
        SendError(status, reason, HeaderList(), true);
        ::shutdown(m_socket, SD_SEND);
        SetReceiveTimeout(m_socket, 2000);
        char sink[4096];
        for (size_t drained = 0; drained < (1u << 20);) {
            const int got = ReceiveSome(m_socket, sink, sizeof sink);
            if (got <= 0) break;
            drained += static_cast<size_t>(got);
        }
    }

    // Whether the connection may serve another request.
    bool Handle(const http::Request& request) {
        if (request.method != "GET" && request.method != "HEAD")
            return SendError(405, "only GET and HEAD are served", {{"Allow", "GET, HEAD"}});
        std::string format, item;
        switch (http::RouteOf(request.path, format, item)) {
            case http::Route::HtmlIndex:
                return SendWhole(200, "text/html; charset=utf-8", m_catalog.Html());
            case http::Route::JsonIndex:
                return SendWhole(200, "application/json", m_catalog.Json());
            case http::Route::Status:
                return SendWhole(200, "application/json", StatusJson(m_counters), {{"Cache-Control", "no-store"}});
            case http::Route::Media:
                try {
                    return ServeMedia(request, format, item);
                } catch (const HostError& error) {
                    // Only raised before an answer is under way: the info object
                    // or a transcoder could not be had.
                    PrintErr(FailureLine(error) + L"\n");
                    return SendError(503, "the server cannot be reached: " + Hex(error.hr()));
                }
            case http::Route::NotFound:
                break;
        }
        return SendError(404, "no such page");
    }

    Server& InfoObject() {
        if (!m_server) m_server.reset(new Server(m_progid));
        return *m_server;
    }

    bool ServeMedia(const http::Request& request, const std::string& formatName, const std::string& itemName) {
        const CatalogItem* item = m_catalog.Find(itemName);
        if (!item) return SendError(404, "no such item");
        bool listed = false;
        for (const CatalogFormat& f : item->formats) listed = listed || f.name == formatName;
        if (!listed) return SendError(404, "the item is not offered as " + formatName);

        std::vector<OfferedFormat> offered;
        HRESULT hr = InfoObject().TryFormatsFor(item->path, offered);
        if (FAILED(hr)) return SendError(500, "GetFormatsForSource " + Hex(hr));
        const OfferedFormat* format = nullptr;
        for (const OfferedFormat& f : offered)
            if (Utf8(f.ShortName()) == formatName) format = &f;
        if (!format) return SendError(404, "the item is no longer offered as " + formatName);

        const bool lpcm = format->profile == L"LPCM";
        const std::string* range = request.Header("range");
        const std::string* seek = request.Header("timeseekrange.dlna.org");
        if (lpcm && range && !http::IsWholeFromStart(*range)) {
            http::ByteRange ignored;
            if (http::ParseByteRange(*range, ~uint64_t(0), ignored) == http::RangeResult::Malformed)
                return SendError(400, "malformed Range");
            return SendError(406, "LPCM is positioned by TimeSeekRange.dlna.org, not by bytes");
        }
        if (!lpcm && seek) return SendError(406, formatName + " is positioned by Range, not by time");
        http::NptRange npt;
        if (seek && !http::ParseNptRange(*seek, npt)) return SendError(400, "malformed TimeSeekRange.dlna.org");

        TranscoderLease transcoder(InfoObject().CreateTranscoder(), m_counters);
        {
            const PathVariant source(item->path);
            hr = transcoder->Open(source.get(), format->object.get());
        }
        if (FAILED(hr)) return SendError(500, "Open " + Hex(hr));
        return lpcm ? ServeLpcm(transcoder, *format, seek ? &npt : nullptr) : ServeNative(transcoder, *format, range);
    }

    static std::string Hex(HRESULT hr) {
        const std::wstring text = HresultHex(hr);
        return std::string(text.begin(), text.end());
    }

    bool ServeLpcm(TranscoderLease& transcoder, const OfferedFormat& format, const http::NptRange* npt) {
        const PcmFacts pcm = ParsePcmMime(format.mimeType);
        LONG durationMs = -1;
        HRESULT hr = transcoder->GetDuration(&durationMs);
        if (FAILED(hr)) return SendError(500, "GetDuration " + Hex(hr));
        HeaderList headers = {{"Content-Type", Utf8(format.mimeType)},
                              {"contentFeatures.dlna.org", http::ContentFeatures(true)},
                              {"transferMode.dlna.org", "Streaming"}};
        const std::string total = durationMs >= 0 ? http::NptText(durationMs) : "*";
        uint64_t limit = ~uint64_t(0);
        if (npt) {
            if (npt->startMs > 0x7FFFFFFF || (durationMs >= 0 && npt->startMs >= durationMs))
                return SendError(416, "the time is past the end (" + total + " s)",
                                 {{"TimeSeekRange.dlna.org", "npt=*/" + total}});
            LONG actual = 0;
            LONGLONG bytePosition = -1;
            hr = transcoder->SetTimePosition(static_cast<LONG>(npt->startMs), &actual, &bytePosition);
            if (FAILED(hr)) return SendError(500, "SetTimePosition " + Hex(hr));
            int64_t endMs = npt->endMs;
            if (endMs >= 0 && durationMs >= 0 && endMs > durationMs) endMs = durationMs;
            if (endMs >= 0) {
                // Whole frames from the actual start to the end asked for.
                const int64_t span = endMs > actual ? endMs - actual : 0;
                limit = static_cast<uint64_t>(span) * pcm.rate / 1000 * 2 * pcm.channels;
            }
            headers.emplace_back("TimeSeekRange.dlna.org", "npt=" + http::NptText(actual) + "-" +
                                                               (endMs >= 0        ? http::NptText(endMs)
                                                                : durationMs >= 0 ? total
                                                                                  : std::string()) +
                                                               "/" + total);
        }
        // A 1.0 client cannot take chunks; its stream ends with the connection.
        const bool chunked = m_request->minorVersion >= 1;
        if (chunked) headers.emplace_back("Transfer-Encoding", "chunked");
        if (HeadOnly()) {
            const bool sent = SendHead(200, headers, !chunked);
            Log(200, 0);
            return sent && chunked;
        }
        hr = StartSerialised(transcoder.get());
        if (FAILED(hr)) return SendError(500, "Start " + Hex(hr));
        transcoder.MarkStarted();
        if (!SendHead(200, headers, !chunked)) {
            transcoder.End();
            Log(200, 0);
            return false;
        }
        uint64_t sent = 0;
        const bool whole = Pump(transcoder, limit, sent, chunked);
        Log(200, sent);
        return whole && chunked;
    }

    bool ServeNative(TranscoderLease& transcoder, const OfferedFormat& format, const std::string* rangeHeader) {
        LONGLONG length = -1;
        HRESULT hr = transcoder->GetLength(&length);
        if (FAILED(hr) || length < 0) return SendError(500, "GetLength " + Hex(hr));
        const uint64_t size = static_cast<uint64_t>(length);
        http::ByteRange range;
        range.last = size ? size - 1 : 0;
        const http::RangeResult kind =
            rangeHeader ? http::ParseByteRange(*rangeHeader, size, range) : http::RangeResult::Whole;
        if (kind == http::RangeResult::Malformed) return SendError(400, "malformed Range");
        if (kind == http::RangeResult::Unsatisfiable)
            return SendError(416, "the range starts past the end",
                             {{"Content-Range", "bytes */" + std::to_string(size)}});
        const bool part = kind == http::RangeResult::Part;
        if (!part) range.first = 0;
        const uint64_t count = size ? range.last - range.first + 1 : 0;
        HeaderList headers = {{"Content-Type", Utf8(format.mimeType)},
                              {"Content-Length", std::to_string(count)},
                              {"Accept-Ranges", "bytes"},
                              {"contentFeatures.dlna.org", http::ContentFeatures(false)},
                              {"transferMode.dlna.org", "Streaming"}};
        if (part)
            headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                      std::to_string(range.last) + "/" + std::to_string(size));
        const int status = part ? 206 : 200;
        if (HeadOnly()) {
            const bool sent = SendHead(status, headers, false);
            Log(status, 0);
            return sent;
        }
        if (range.first) {
            hr = transcoder->SetBytePosition(static_cast<LONGLONG>(range.first));
            if (FAILED(hr)) return SendError(500, "SetBytePosition " + Hex(hr));
        }
        hr = transcoder->Start();
        if (FAILED(hr)) return SendError(500, "Start " + Hex(hr));
        transcoder.MarkStarted();
        if (!SendHead(status, headers, false)) {
            transcoder.End();
            Log(status, 0);
            return false;
        }
        uint64_t sent = 0;
        const bool whole = Pump(transcoder, count, sent, false) && sent == count;
        Log(status, sent);
        return whole;
    }

    // Reads blocks and sends them (as chunks, or plain) until the end of the
    // stream or limit bytes; false when the stream could not be sent whole.
    // A failed send means the client is gone: the transcoder is stopped and
    // closed at once.
    bool Pump(TranscoderLease& transcoder, uint64_t limit, uint64_t& sent, bool chunked) {
        BlockReader reader(transcoder.get());
        unsigned idle = 0;
        while (sent < limit) {
            const uint64_t left = limit - sent;
            Block block;
            if (!reader.Next(left < kBlock ? static_cast<uint32_t>(left) : kBlock, block)) {
                transcoder.End();
                return false;
            }
            size_t size = block.size;
            if (size > left) size = static_cast<size_t>(left);
            if (size) {
                idle = 0;
                const bool ok = (!chunked || SendAll(m_socket, http::ChunkHead(size))) &&
                                SendAll(m_socket, block.bytes, size) && (!chunked || SendAll(m_socket, "\r\n", 2));
                if (!ok) {
                    transcoder.End();
                    return false;
                }
                sent += size;
            } else if (!block.end && ++idle > kMaxIdleReads) {
                transcoder.End();
                return false;
            } else if (!block.end) {
                ::Sleep(1);
            }
            if (block.end) break;
        }
        transcoder.End();
        return !chunked || SendAll(m_socket, "0\r\n\r\n", 5);
    }

    SOCKET m_socket;
    const Catalog& m_catalog;
    ServeCounters& m_counters;
    bool m_progid;
    std::string m_peer;
    std::string m_buffer;  // bytes received after the last head
    const http::Request* m_request = nullptr;
    std::unique_ptr<Server> m_server;
};

}  // namespace

void ServeConnection(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid) {
    try {
        const ComApartment apartment;
        Session session(s, catalog, counters, progid);
        session.Run();
    } catch (const HostError& error) {
        PrintErr(FailureLine(error) + L"\n");
    } catch (const std::bad_alloc&) {
        PrintErr(L"trnhost: out of memory on a connection\n");
    } catch (HRESULT hr) {
        PrintErr(FailureLine(HostError(KindOf(hr), hr, L"COM")) + L"\n");
    }
}

}  // namespace trnhost
