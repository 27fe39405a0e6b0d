#include "Http.h"

#include <cstdio>

namespace trnhost {
namespace http {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return i == a.size() && !b[i];
}

// RFC 9110 token characters (method and header names).
bool IsTokenChar(char c) {
    if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    for (const char* p = "!#$%&'*+-.^_`|~"; *p; ++p)
        if (c == *p) return true;
    return false;
}

bool IsToken(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!IsTokenChar(c)) return false;
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Decimal digits at text[at...]; saturates at limit instead of wrapping.
// False when there is no digit.
bool TakeNumber(const std::string& text, size_t& at, uint64_t limit, uint64_t& out) {
    const size_t start = at;
    uint64_t value = 0;
    while (at < text.size() && IsDigit(text[at])) {
        const unsigned digit = static_cast<unsigned>(text[at++] - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    out = value;
    return at > start;
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Headers a request may carry once only: two of them leave the meaning open.
bool MustBeSingle(const std::string& name) {
    for (const char* single : {"host", "range", "timeseekrange.dlna.org", "content-length", "transfer-encoding"})
        if (name == single) return true;
    return false;
}

bool SplitLines(const std::string& head, std::vector<std::string>& lines, std::string& reason) {
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (char c : line)
            if (c == '\r' || c == '\0') {
                reason = "control character in the request head";
                return false;
            }
        at = end + 1;
        if (line.empty()) break;
        lines.push_back(line);
    }
    return true;
}

bool ParseRequestLine(const std::string& line, Request& out, std::string& reason, int& status) {
    status = 400;
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos) {
        reason = "the request line is not METHOD TARGET VERSION";
        return false;
    }
    out.method = line.substr(0, first);
    out.target = line.substr(first + 1, second - first - 1);
    const std::string version = line.substr(second + 1);
    if (!IsToken(out.method)) {
        reason = "bad method";
        return false;
    }
    if (out.target.empty() || out.target[0] != '/') {
        reason = "the target is not an absolute path";
        return false;
    }
    for (char c : out.target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            reason = "control character in the target";
            return false;
        }
    if (version.size() != 8 || version.compare(0, 5, "HTTP/") != 0 || !IsDigit(version[5]) || version[6] != '.' ||
        !IsDigit(version[7])) {
        reason = "bad HTTP version";
        return false;
    }
    if (version[5] != '1') {
        status = 505;
        reason = "only HTTP/1.0 and HTTP/1.1 are served";
        return false;
    }
    out.minorVersion = version[7] - '0';
    std::string path = out.target.substr(0, out.target.find('?'));
    if (!PercentDecode(path, out.path)) {
        reason = "bad percent escape in the target";
        return false;
    }
    return true;
}

bool ParseHeaderLine(const std::string& line, Request& out, std::string& reason) {
    if (IsBlank(line[0])) {
        // Folded continuation lines are obsolete and a smuggling aid.
        reason = "folded header line";
        return false;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || !IsToken(line.substr(0, colon))) {
        reason = "bad header line";
        return false;
    }
    std::string name = line.substr(0, colon);
    for (char& c : name) c = Lower(c);
    if (MustBeSingle(name) && out.Header(name.c_str())) {
        reason = "repeated " + name + " header";
        return false;
    }
    out.headers.emplace_back(name, Trim(line.substr(colon + 1)));
    return true;
}

// The seconds of an npt time: "SS[.fff]" or "H:MM:SS[.fff]"; false when malformed.
bool TakeNptTime(const std::string& text, size_t& at, int64_t& ms) {
    const uint64_t limit = static_cast<uint64_t>(kHugeMs);
    uint64_t first = 0;
    if (!TakeNumber(text, at, limit, first)) return false;
    uint64_t seconds = first;
    if (at < text.size() && text[at] == ':') {
        uint64_t minutes = 0, secs = 0;
        size_t mark = ++at;
        if (!TakeNumber(text, at, limit, minutes) || at - mark != 2 || minutes > 59) return false;
        if (at >= text.size() || text[at] != ':') return false;
        mark = ++at;
        if (!TakeNumber(text, at, limit, secs) || at - mark != 2 || secs > 59) return false;
        const uint64_t hours = first > limit / 3600 ? limit / 3600 : first;
        seconds = hours * 3600 + minutes * 60 + secs;
    }
    uint64_t fraction = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        // Milliseconds from the first three digits; further digits are finer than a millisecond.
        for (int place = 100; at < text.size() && IsDigit(text[at]); ++at, place /= 10)
            fraction += place ? static_cast<uint64_t>(text[at] - '0') * place : 0;
    }
    const uint64_t total = seconds > (limit - fraction) / 1000 ? limit : seconds * 1000 + fraction;
    ms = static_cast<int64_t>(total);
    return true;
}

bool IsUnreserved(unsigned char c) {
    return IsDigit(static_cast<char>(c)) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

const std::string* Request::Header(const char* lowerName) const {
    for (const auto& h : headers)
        if (h.first == lowerName) return &h.second;
    return nullptr;
}

bool Request::KeepAlive() const {
    const std::string* connection = Header("connection");
    // A comma list: "keep-alive, Upgrade" and the like.
    bool close = false, keep = false;
    if (connection) {
        size_t at = 0;
        while (at <= connection->size()) {
            size_t end = connection->find(',', at);
            if (end == std::string::npos) end = connection->size();
            const std::string option = Trim(connection->substr(at, end - at));
            if (EqualsNoCase(option, "close")) close = true;
            if (EqualsNoCase(option, "keep-alive")) keep = true;
            at = end + 1;
        }
    }
    if (close) return false;
    return minorVersion >= 1 || keep;
}

size_t FindHeadEnd(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') continue;
        if (i + 1 < size && data[i + 1] == '\n') return i + 2;
        if (i + 2 < size && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
    }
    return 0;
}

size_t SkipEmptyLines(const char* data, size_t size) {
    size_t i = 0;
    while (i < size && (data[i] == '\r' || data[i] == '\n')) ++i;
    return i;
}

int ParseRequestHead(const std::string& head, Request& out, std::string& reason) {
    out = Request();
    if (head.size() > kMaxHeadBytes) {
        reason = "request head too large";
        return 400;
    }
    std::vector<std::string> lines;
    if (!SplitLines(head, lines, reason)) return 400;
    if (lines.empty()) {
        reason = "empty request";
        return 400;
    }
    int status = 400;
    if (!ParseRequestLine(lines[0], out, reason, status)) return status;
    if (lines.size() - 1 > kMaxHeaderCount) {
        reason = "too many header lines";
        return 400;
    }
    for (size_t i = 1; i < lines.size(); ++i)
        if (!ParseHeaderLine(lines[i], out, reason)) return 400;
    if (out.minorVersion >= 1 && !out.Header("host")) {
        reason = "HTTP/1.1 request without Host";
        return 400;
    }
    // Nothing here takes a body; one that cannot be skipped safely is refused.
    if (out.Header("transfer-encoding")) {
        reason = "request bodies are not accepted";
        return 400;
    }
    if (const std::string* length = out.Header("content-length")) {
        if (*length != "0") {
            reason = "request bodies are not accepted";
            return 400;
        }
    }
    return 0;
}

RangeResult ParseByteRange(const std::string& value, uint64_t length, ByteRange& out) {
    const std::string text = Trim(value);
    const size_t equals = text.find('=');
    if (equals == std::string::npos || !EqualsNoCase(Trim(text.substr(0, equals)), "bytes"))
        return RangeResult::Malformed;
    const std::string spec = Trim(text.substr(equals + 1));
    if (spec.find(',') != std::string::npos) {
        // Each part must still be well formed; then the whole content is sent.
        size_t at = 0;
        while (at <= spec.size()) {
            size_t end = spec.find(',', at);
            if (end == std::string::npos) end = spec.size();
            ByteRange ignored;
            const std::string one = "bytes=" + spec.substr(at, end - at);
            if (ParseByteRange(one, length, ignored) == RangeResult::Malformed) return RangeResult::Malformed;
            at = end + 1;
        }
        return RangeResult::Whole;
    }
    const uint64_t limit = ~uint64_t(0);
    size_t at = 0;
    uint64_t first = 0, last = limit;
    if (spec.empty()) return RangeResult::Malformed;
    if (spec[0] == '-') {
        uint64_t suffix = 0;
        at = 1;
        if (!TakeNumber(spec, at, limit, suffix) || at != spec.size()) return RangeResult::Malformed;
        if (suffix == 0 || length == 0) return RangeResult::Unsatisfiable;
        out.first = suffix >= length ? 0 : length - suffix;
        out.last = length - 1;
        return RangeResult::Part;
    }
    if (!TakeNumber(spec, at, limit, first) || at >= spec.size() || spec[at] != '-') return RangeResult::Malformed;
    ++at;
    if (at < spec.size() && (!TakeNumber(spec, at, limit, last) || at != spec.size())) return RangeResult::Malformed;
    if (last < first) return RangeResult::Malformed;
    if (first >= length) return RangeResult::Unsatisfiable;
    out.first = first;
    out.last = last >= length ? length - 1 : last;
    return RangeResult::Part;
}

bool IsWholeFromStart(const std::string& value) {
    ByteRange range;
    return ParseByteRange(value, ~uint64_t(0), range) == RangeResult::Part && range.first == 0 &&
           range.last == ~uint64_t(0) - 1;
}

bool ParseNptRange(const std::string& value, NptRange& out) {
    out = NptRange();
    const std::string text = Trim(value);
    if (text.size() < 4 || !EqualsNoCase(text.substr(0, 4), "npt=")) return false;
    size_t at = 4;
    if (!TakeNptTime(text, at, out.startMs)) return false;
    if (at >= text.size() || text[at] != '-') return false;
    ++at;
    if (at < text.size()) {
        if (!TakeNptTime(text, at, out.endMs) || at != text.size()) return false;
        if (out.endMs <= out.startMs) return false;
    }
    return true;
}

std::string NptText(int64_t ms) {
    if (ms < 0) ms = 0;
    char text[40];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

Route RouteOf(const std::string& path, std::string& format, std::string& item) {
    format.clear();
    item.clear();
    if (path == "/" || path == "/index.html") return Route::HtmlIndex;
    if (path == "/index.json") return Route::JsonIndex;
    if (path == "/status") return Route::Status;
    static const std::string kMedia = "/media/";
    if (path.compare(0, kMedia.size(), kMedia) != 0) return Route::NotFound;
    const size_t slash = path.find('/', kMedia.size());
    if (slash == std::string::npos || slash == kMedia.size() || slash + 1 >= path.size()) return Route::NotFound;
    format = path.substr(kMedia.size(), slash - kMedia.size());
    item = path.substr(slash + 1);
    return Route::Media;
}

std::string MediaPath(const std::string& format, const std::string& item) {
    return "/media/" + PercentEncodePath(format) + "/" + PercentEncodePath(item);
}

bool PercentDecode(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '%') {
            if (i + 2 >= in.size()) return false;
            const int high = HexValue(in[i + 1]), low = HexValue(in[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0') return false;
        out.push_back(c);
    }
    return true;
}

std::string PercentEncodePath(const std::string& utf8) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if (IsUnreserved(c) || c == '/') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

const char* ReasonPhrase(int status) {
    // clang-format off
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 408: return "Request Timeout";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
    // clang-format on
}

std::string ChunkHead(size_t size) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx\r\n", static_cast<unsigned long long>(size));
    return text;
}

Response::Response(Peer& peer, const Request* request)
    : m_peer(peer), m_request(request), m_minorVersion(request ? request->minorVersion : 1) {}

bool Response::HeadOnly() const { return m_request && m_request->method == "HEAD"; }

bool Response::SendHead(int status, const HeaderList& headers, bool close) {
    std::string text = "HTTP/1." + std::to_string(m_minorVersion) + " " + std::to_string(status) + " " +
                       ReasonPhrase(status) + "\r\nServer: trnhost\r\n";
    for (const auto& h : headers) text += h.first + ": " + h.second + "\r\n";
    if (close)
        text += "Connection: close\r\n";
    else if (m_minorVersion == 0)
        text += "Connection: keep-alive\r\n";
    text += "\r\n";
    return m_peer.Send(text.data(), text.size());
}

bool Response::SendWhole(int status, const char* type, const std::string& body, HeaderList headers, bool close) {
    headers.emplace_back("Content-Type", type);
    headers.emplace_back("Content-Length", std::to_string(body.size()));
    const bool sent = SendHead(status, headers, close) && (HeadOnly() || m_peer.Send(body.data(), body.size()));
    Log(status, HeadOnly() ? 0 : body.size());
    return sent && !close;
}

bool Response::SendError(int status, const std::string& why, HeaderList headers, bool close) {
    return SendWhole(status, "text/plain; charset=utf-8",
                     std::to_string(status) + " " + ReasonPhrase(status) + ": " + why + "\n", std::move(headers),
                     close);
}

bool Response::SendBody(const char* data, size_t size, bool chunked) {
    if (!chunked) return m_peer.Send(data, size);
    const std::string head = ChunkHead(size);
    return m_peer.Send(head.data(), head.size()) && m_peer.Send(data, size) && m_peer.Send("\r\n", 2);
}

bool Response::SendLastChunk() { return m_peer.Send("0\r\n\r\n", 5); }

void Response::Log(int status, uint64_t bytes) { m_peer.Answered(m_request, status, bytes); }

}  // namespace http
}  // namespace trnhost
