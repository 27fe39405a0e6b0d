// Winsock for trnhost serve: the library session, sockets that close
// themselves, the listening socket and whole sends.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/UniqueResource.h"

namespace trnhost {

namespace net_detail {
inline SOCKET InvalidSocket() { return INVALID_SOCKET; }
struct CloseSocketFn {
    void operator()(SOCKET s) const { ::closesocket(s); }
};
}  // namespace net_detail
typedef UniqueResource<SOCKET, net_detail::CloseSocketFn, net_detail::InvalidSocket> UniqueSocket;

// WSAStartup for its lifetime; throws HostError.
class WinsockSession {
public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

// A TCP socket listening on an IPv4 address; port 0 takes a free one.
// Throws HostError.
UniqueSocket Listen(const std::wstring& address, uint16_t port);
uint16_t BoundPort(SOCKET s);
// The peer's "a.b.c.d".
std::string PeerAddress(SOCKET s);

// Whether a connection waits on the socket within timeoutMs.
bool WaitReadable(SOCKET s, DWORD timeoutMs);

// Sends every byte; false when the peer is gone or the send failed.
bool SendAll(SOCKET s, const char* data, size_t size);
inline bool SendAll(SOCKET s, const std::string& text) { return SendAll(s, text.data(), text.size()); }

// Bytes received into buffer: > 0, 0 at the peer's end, < 0 on failure or timeout.
int ReceiveSome(SOCKET s, char* buffer, int size);
void SetReceiveTimeout(SOCKET s, DWORD ms);

}  // namespace trnhost
