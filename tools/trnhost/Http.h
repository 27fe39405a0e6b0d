// HTTP/1.1 for trnhost serve: what a request says (request line, headers,
// byte ranges, DLNA time seeks, which item and format a path names), and the
// writer of the answers (status line, headers, whole, plain or chunked
// bodies). Requests are untrusted input, so sizes are bounded and numbers
// saturate instead of wrapping. No platform headers; tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace trnhost {
namespace http {

// Request line and headers together; a longer head is refused.
const size_t kMaxHeadBytes = 16384;
const size_t kMaxHeaderCount = 64;

struct Request {
    std::string method;
    std::string target;                                        // as sent
    std::string path;                                          // percent-decoded, without the query
    int minorVersion = 1;                                      // HTTP/1.x
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case, values trimmed
    // The value of a header (name in lower case), or null when absent.
    const std::string* Header(const char* lowerName) const;
    // Whether the connection stays open after the answer.
    bool KeepAlive() const;
};

// Offset just past the blank line that ends a request head, or 0 while the
// head is incomplete. Bare LF line ends are accepted as well as CRLF.
size_t FindHeadEnd(const char* data, size_t size);
// Leading empty lines before a request line, which clients may send between requests.
size_t SkipEmptyLines(const char* data, size_t size);

// Parses a whole head (as FindHeadEnd delimits it). Returns 0, or the status
// to answer with (400 malformed, 505 version) and a reason for the body.
int ParseRequestHead(const std::string& head, Request& out, std::string& reason);

// "Range: bytes=..." against a content length.
enum class RangeResult { Whole, Part, Malformed, Unsatisfiable };
struct ByteRange {
    uint64_t first = 0;
    uint64_t last = 0;  // inclusive
};
// Several ranges at once are valid but not served in parts: Whole.
RangeResult ParseByteRange(const std::string& value, uint64_t length, ByteRange& out);
// Whether the value asks for the whole content from byte 0 ("bytes=0-"),
// which players send on every request to learn whether seeking works.
bool IsWholeFromStart(const std::string& value);

// "TimeSeekRange.dlna.org: npt=START-[END]" in milliseconds. Times too large
// for any track saturate at kHugeMs.
const int64_t kHugeMs = int64_t(1) << 50;
struct NptRange {
    int64_t startMs = 0;
    int64_t endMs = -1;  // -1: to the end
};
bool ParseNptRange(const std::string& value, NptRange& out);
// "12.345" (seconds with milliseconds), as DLNA answers carry it.
std::string NptText(int64_t ms);

// What a decoded path asks for.
enum class Route { HtmlIndex, JsonIndex, Status, Media, NotFound };
// "/media/FORMAT/ITEM" gives the format name and the item's relative path.
Route RouteOf(const std::string& path, std::string& format, std::string& item);
// The path of an item in a format, percent-encoded.
std::string MediaPath(const std::string& format, const std::string& item);

// %XX decoding; false on a bad escape or a decoded NUL.
bool PercentDecode(const std::string& in, std::string& out);
// Keeps unreserved characters and '/', escapes every other byte.
std::string PercentEncodePath(const std::string& utf8);

const char* ReasonPhrase(int status);
// "1f40\r\n"
std::string ChunkHead(size_t size);

typedef std::vector<std::pair<std::string, std::string>> HeaderList;

// The connection answers go out on.
class Peer {
public:
    virtual ~Peer() = default;
    // Sends every byte; false when the peer is gone or the send failed.
    virtual bool Send(const char* data, size_t size) = 0;
    // An answer is over: its status and the body bytes it sent, for the log.
    // request is null for one that could not be read.
    virtual void Answered(const Request* request, int status, uint64_t bytes) = 0;
};

// Writes the answer to one request: the status line in the request's HTTP
// version, the headers, then the body. A HEAD request gets the head alone.
class Response {
public:
    // request is null for one that could not be read; it must outlive this.
    Response(Peer& peer, const Request* request);
    Response(const Response&) = delete;
    Response& operator=(const Response&) = delete;

    bool HeadOnly() const;
    // HTTP/1.1 and later may take a chunked body.
    bool CanChunk() const { return m_minorVersion >= 1; }

    // The status line and headers, with Server; Connection: close when
    // closing, keep-alive to a 1.0 client otherwise. False when not sent.
    bool SendHead(int status, const HeaderList& headers, bool close);
    // A whole answer with a known body (its bytes not sent for HEAD), then
    // logged. Whether the connection may serve another request.
    bool SendWhole(int status, const char* type, const std::string& body, HeaderList headers = HeaderList(),
                   bool close = false);
    // A plain-text answer: "STATUS REASON: why".
    bool SendError(int status, const std::string& why, HeaderList headers = HeaderList(), bool close = false);
    // Body bytes of a streamed answer: as one chunk, or as they are.
    bool SendBody(const char* data, size_t size, bool chunked);
    // The last chunk, which ends a chunked body.
    bool SendLastChunk();
    // Logs a streamed answer once it is over.
    void Log(int status, uint64_t bytes);

private:
    Peer& m_peer;
    const Request* m_request;
    int m_minorVersion;
};

}  // namespace http
}  // namespace trnhost
