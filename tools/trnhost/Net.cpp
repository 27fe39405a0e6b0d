#include "Net.h"

#include "Errors.h"

namespace trnhost {

WinsockSession::WinsockSession() {
    WSADATA data;
    const int error = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (error) throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(error), L"WSAStartup");
}

WinsockSession::~WinsockSession() { ::WSACleanup(); }

namespace {

[[noreturn]] void ThrowSocket(const std::wstring& what) {
    throw HostError(FailureKind::Failure, HRESULT_FROM_WIN32(::WSAGetLastError()), what);
}

}  // namespace

UniqueSocket Listen(const std::wstring& address, uint16_t port) {
    const std::string text(address.begin(), address.end());
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = text.empty() ? htonl(INADDR_LOOPBACK) : ::inet_addr(text.c_str());
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) ThrowSocket(L"socket");
    // Another server on the port must be an error, not a shared port.
    BOOL exclusive = TRUE;
    ::setsockopt(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const std::wstring name = (address.empty() ? L"127.0.0.1" : address) + L":" + std::to_wstring(port);
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) == SOCKET_ERROR)
        ThrowSocket(L"bind " + name);
    if (::listen(s.get(), SOMAXCONN) == SOCKET_ERROR) ThrowSocket(L"listen " + name);
    return s;
}

uint16_t BoundPort(SOCKET s) {
    sockaddr_in where = {};
    int size = sizeof where;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&where), &size) == SOCKET_ERROR) return 0;
    return ntohs(where.sin_port);
}

std::string PeerAddress(SOCKET s) {
    sockaddr_in where = {};
    int size = sizeof where;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&where), &size) == SOCKET_ERROR) return "-";
    const unsigned long a = ntohl(where.sin_addr.s_addr);
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
           "." + std::to_string(a & 255);
}

bool WaitReadable(SOCKET s, DWORD timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait;
    wait.tv_sec = static_cast<long>(timeoutMs / 1000);
    wait.tv_usec = static_cast<long>(timeoutMs % 1000 * 1000);
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

bool SendAll(SOCKET s, const char* data, size_t size) {
    while (size) {
        const int part = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
        const int sent = ::send(s, data, part, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

int ReceiveSome(SOCKET s, char* buffer, int size) {
    const int got = ::recv(s, buffer, size, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

void SetReceiveTimeout(SOCKET s, DWORD ms) {
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

}  // namespace trnhost
