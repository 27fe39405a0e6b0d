#include "Connection.h"

#include <new>

#include "Http.h"
#include "Output.h"
#include "Session.h"
#include "Views.h"
#include "tools/common/ProcessCounts.h"
#include "tools/common/Utf8.h"

namespace trnhost {
namespace {

// A keep-alive connection with no new request is closed after this long.
const DWORD kIdleMs = 30000;

// The socket answers go out on; each answer is logged on standard error.
class SocketPeer : public http::Peer {
public:
    explicit SocketPeer(SOCKET s) : m_socket(s), m_address(PeerAddress(s)) {}
    bool Send(const char* data, size_t size) override { return SendAll(m_socket, data, size); }
    void Answered(const http::Request* request, int status, uint64_t bytes) override {
        const std::string line = request ? request->method + " " + request->target : std::string("-");
        const std::string text =
            m_address + " \"" + line + "\" " + std::to_string(status) + " " + std::to_string(bytes);
        PrintErr(std::wstring(text.begin(), text.end()) + L"\n");
    }

private:
    SOCKET m_socket;
    std::string m_address;
};

StatusFigures Figures(const ServeCounters& counters) {
    const trntools::ProcessCounts process = trntools::CountThisProcess();
    StatusFigures figures;
    figures.connections = counters.connections;
    figures.transcoders = counters.transcoders;
    figures.requests = counters.requests;
    figures.lengthDifferences = counters.lengthDifferences;
    figures.paddedFrames = counters.paddedFrames;
    figures.cutFrames = counters.cutFrames;
    figures.counted = process.ok;
    figures.threads = process.threads;
    figures.handles = process.handles;
    figures.privateBytes = process.privateBytes;
    return figures;
}

class RequestLoop {
public:
    RequestLoop(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid)
        : m_socket(s), m_peer(s), m_catalog(catalog), m_counters(counters), m_session(catalog, counters, progid) {}

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
            http::Response response(m_peer, &request);
            const bool goOn = Handle(request, response);
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

    // A request that cannot be read: answered, then the connection ends
    // after the peer's remaining bytes are drained, so the answer is not lost
    // to a reset.
    void Refuse(int status, const std::string& reason) {
        http::Response response(m_peer, nullptr);
        response.SendError(status, reason, http::HeaderList(), true);
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
    bool Handle(const http::Request& request, http::Response& response) {
        if (request.method != "GET" && request.method != "HEAD")
            return response.SendError(405, "only GET and HEAD are served", {{"Allow", "GET, HEAD"}});
        std::string format, item;
        switch (http::RouteOf(request.path, format, item)) {
            case http::Route::HtmlIndex:
                return response.SendWhole(200, "text/html; charset=utf-8",
                                          IndexHtml(m_catalog.folder(), m_catalog.items()));
            case http::Route::JsonIndex:
                return response.SendWhole(200, "application/json", IndexJson(m_catalog.folder(), m_catalog.items()));
            case http::Route::Status:
                return response.SendWhole(200, "application/json", StatusJson(Figures(m_counters)),
                                          {{"Cache-Control", "no-store"}});
            case http::Route::Media:
                try {
                    return m_session.ServeMedia(request, response, format, item);
                } catch (const HostError& error) {
                    // Only raised before an answer is under way: the info object
                    // or a transcoder could not be had.
                    PrintErr(FailureLine(error) + L"\n");
                    return response.SendError(
                        503, "the server cannot be reached: " + trntools::Utf8(HresultHex(error.hr())));
                }
            case http::Route::NotFound:
                break;
        }
        return response.SendError(404, "no such page");
    }

    SOCKET m_socket;
    SocketPeer m_peer;
    const Catalog& m_catalog;
    ServeCounters& m_counters;
    Session m_session;
    std::string m_buffer;  // bytes received after the last head
};

}  // namespace

void ServeConnection(SOCKET s, const Catalog& catalog, ServeCounters& counters, bool progid) {
    try {
        const ComApartment apartment;
        RequestLoop connection(s, catalog, counters, progid);
        connection.Run();
    } catch (const HostError& error) {
        PrintErr(FailureLine(error) + L"\n");
    } catch (const std::bad_alloc&) {
        PrintErr(L"trnhost: out of memory on a connection\n");
    } catch (HRESULT hr) {
        PrintErr(FailureLine(HostError(KindOf(hr), hr, L"COM")) + L"\n");
    }
}

}  // namespace trnhost
