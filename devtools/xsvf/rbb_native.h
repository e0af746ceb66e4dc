// The platform underneath the remote-bitbang sockets: POSIX or Winsock, behind a few small
// functions, for rbb_socket.cpp and rbb_address.cpp only.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "devtools/xsvf/rbb_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <afunix.h>
using NativeSocket = SOCKET;
using SockLen = int;
constexpr int SEND_FLAGS = 0;
#define mola_poll WSAPoll
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
using NativeSocket = int;
using SockLen = socklen_t;
constexpr int SEND_FLAGS = MSG_NOSIGNAL; // a vanished peer is an error, not a signal
#define mola_poll poll
#endif

namespace rbb_native {

inline NativeSocket native(RbbSocket s)
{
    return static_cast<NativeSocket>(s);
}

inline RbbSocket wrap(NativeSocket s)
{
#ifdef _WIN32
    return s == INVALID_SOCKET ? RBB_NO_SOCKET : static_cast<RbbSocket>(s);
#else
    return s < 0 ? RBB_NO_SOCKET : static_cast<RbbSocket>(s);
#endif
}

inline std::string last_error()
{
#ifdef _WIN32
    return "socket error " + std::to_string(WSAGetLastError());
#else
    return std::strerror(errno);
#endif
}

inline bool would_block()
{
#ifdef _WIN32
    return WSAGetLastError() == WSAEWOULDBLOCK;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
#endif
}

inline bool native_started()
{
#ifdef _WIN32
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
#else
    return true;
#endif
}

inline bool set_nonblocking(NativeSocket s)
{
#ifdef _WIN32
    // FIONBIO is an unsigned expression that ioctlsocket takes as a long: the same bits.
    constexpr long NONBLOCKING = static_cast<long>(static_cast<unsigned long>(FIONBIO));
    u_long on = 1;
    return ioctlsocket(s, NONBLOCKING, &on) == 0;
#else
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

// 1 ready, 0 timeout, -1 error.
inline int wait_for(NativeSocket s, short events, int timeout_ms)
{
    pollfd p{};
    p.fd = s;
    p.events = events;
    const int n = mola_poll(&p, 1, timeout_ms);
    if (n < 0) {
#ifndef _WIN32
        if (errno == EINTR) {
            return 0;
        }
#endif
        return -1;
    }
    return n == 0 ? 0 : 1;
}

inline void no_delay(NativeSocket s)
{
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

inline bool unix_address(const std::string& path, sockaddr_un* sun, std::string* why)
{
    if (path.empty() || path.size() > RBB_MAX_PATH) {
        *why = "a UNIX socket path has 1 to " + std::to_string(RBB_MAX_PATH) + " characters";
        return false;
    }
    std::memset(sun, 0, sizeof *sun);
    sun->sun_family = AF_UNIX;
    std::memcpy(sun->sun_path, path.data(), path.size());
    return true;
}

inline void close_native(NativeSocket s)
{
#ifdef _WIN32
    closesocket(s);
#else
    close(s);
#endif
}

} // namespace rbb_native
