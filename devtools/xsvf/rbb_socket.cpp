// Sockets for the remote-bitbang server and client: listening, accepting, connecting, and
// moving bytes with timeouts.
#include "devtools/xsvf/rbb_socket.h"

#include "devtools/xsvf/rbb_native.h"

using namespace rbb_native;

namespace {

// True when something accepts connections at the UNIX socket path.
bool unix_listener_alive(const sockaddr_un& sun)
{
    const NativeSocket s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (wrap(s) == RBB_NO_SOCKET) {
        return false;
    }
    const bool alive = connect(s, reinterpret_cast<const sockaddr*>(&sun), sizeof sun) == 0;
    close_native(s);
    return alive;
}

RbbSocket listen_unix(const RbbAddress& a, std::string* why)
{
    sockaddr_un sun;
    if (!unix_address(a.path, &sun, why)) {
        return RBB_NO_SOCKET;
    }
#ifndef _WIN32
    struct stat st;
    if (lstat(a.path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            *why = a.path + " exists and is not a socket";
            return RBB_NO_SOCKET;
        }
        if (unix_listener_alive(sun)) {
            *why = "a server already listens on " + a.path;
            return RBB_NO_SOCKET;
        }
        unlink(a.path.c_str());
    }
#else
    if (unix_listener_alive(sun)) {
        *why = "a server already listens on " + a.path;
        return RBB_NO_SOCKET;
    }
    DeleteFileA(a.path.c_str());
#endif
    const NativeSocket s = socket(AF_UNIX, SOCK_STREAM, 0);
    if (wrap(s) == RBB_NO_SOCKET) {
        *why = "cannot make a UNIX socket: " + last_error();
        return RBB_NO_SOCKET;
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&sun), sizeof sun) != 0 || listen(s, 4) != 0 ||
        !set_nonblocking(s)) {
        *why = "cannot listen on " + a.path + ": " + last_error();
        close_native(s);
        return RBB_NO_SOCKET;
    }
    return wrap(s);
}

RbbSocket listen_tcp(RbbAddress* a, std::string* why)
{
    const NativeSocket s = socket(AF_INET, SOCK_STREAM, 0);
    if (wrap(s) == RBB_NO_SOCKET) {
        *why = "cannot make a TCP socket: " + last_error();
        return RBB_NO_SOCKET;
    }
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin.sin_port = htons(static_cast<std::uint16_t>(a->port));
    SockLen len = sizeof sin;
    if (bind(s, reinterpret_cast<const sockaddr*>(&sin), sizeof sin) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&sin), &len) != 0 || !set_nonblocking(s)) {
        *why = "cannot listen on 127.0.0.1:" + std::to_string(a->port) + ": " + last_error();
        close_native(s);
        return RBB_NO_SOCKET;
    }
    a->host = "127.0.0.1";
    a->port = ntohs(sin.sin_port);
    return wrap(s);
}

// Waits for a non-blocking connect to finish; true when it succeeded.
bool connected(NativeSocket s, std::string* why)
{
    if (wait_for(s, POLLOUT, 10000) != 1) {
        *why = "no connection within 10 s";
        return false;
    }
    int error = 0;
    SockLen len = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
    if (error != 0) {
#ifdef _WIN32
        *why = "socket error " + std::to_string(error);
#else
        *why = std::strerror(error);
#endif
        return false;
    }
    return true;
}

bool connect_pending()
{
#ifdef _WIN32
    return WSAGetLastError() == WSAEWOULDBLOCK;
#else
    return errno == EINPROGRESS;
#endif
}

RbbSocket connect_to(int family, const sockaddr* sa, SockLen len, std::string* why)
{
    const NativeSocket s = socket(family, SOCK_STREAM, 0);
    if (wrap(s) == RBB_NO_SOCKET) {
        *why = last_error();
        return RBB_NO_SOCKET;
    }
    if (!set_nonblocking(s)) {
        *why = last_error();
        close_native(s);
        return RBB_NO_SOCKET;
    }
    if (connect(s, sa, len) != 0) {
        const bool done = connect_pending() && connected(s, why);
        if (!done) {
            if (why->empty()) {
                *why = last_error();
            }
            close_native(s);
            return RBB_NO_SOCKET;
        }
    }
    if (family != AF_UNIX) {
        no_delay(s);
    }
    return wrap(s);
}

} // namespace

RbbSocket rbb_listen(RbbAddress* a, std::string* why)
{
    if (!native_started()) {
        *why = "Winsock does not start";
        return RBB_NO_SOCKET;
    }
    return a->unix_socket ? listen_unix(*a, why) : listen_tcp(a, why);
}

RbbSocket rbb_accept(RbbSocket listener, int timeout_ms, std::string* error)
{
    error->clear();
    const int ready = wait_for(native(listener), POLLIN, timeout_ms);
    if (ready <= 0) {
        if (ready < 0) {
            *error = "waiting for a client: " + last_error();
        }
        return RBB_NO_SOCKET;
    }
    const NativeSocket s = accept(native(listener), nullptr, nullptr);
    if (wrap(s) == RBB_NO_SOCKET) {
        if (!would_block()) {
            *error = "accepting a client: " + last_error();
        }
        return RBB_NO_SOCKET;
    }
    if (!set_nonblocking(s)) {
        *error = "accepting a client: " + last_error();
        close_native(s);
        return RBB_NO_SOCKET;
    }
    no_delay(s); // fails harmlessly on a UNIX socket
    return wrap(s);
}

RbbSocket rbb_connect(const RbbAddress& a, std::string* why)
{
    why->clear();
    if (!native_started()) {
        *why = "Winsock does not start";
        return RBB_NO_SOCKET;
    }
    if (a.unix_socket) {
        sockaddr_un sun;
        if (!unix_address(a.path, &sun, why)) {
            return RBB_NO_SOCKET;
        }
        return connect_to(AF_UNIX, reinterpret_cast<const sockaddr*>(&sun), sizeof sun, why);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(a.port);
    const int rc = getaddrinfo(a.host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0) {
        *why = "cannot resolve " + a.host + ": " + gai_strerror(rc);
        return RBB_NO_SOCKET;
    }
    RbbSocket s = RBB_NO_SOCKET;
    for (const addrinfo* ai = list; ai && s == RBB_NO_SOCKET; ai = ai->ai_next) {
        why->clear();
        s = connect_to(ai->ai_family, ai->ai_addr, static_cast<SockLen>(ai->ai_addrlen), why);
    }
    freeaddrinfo(list);
    return s;
}

bool rbb_send_all(RbbSocket s, const void* data, std::size_t n, int timeout_ms, std::string* why)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const int chunk = n > 1u << 20 ? 1 << 20 : static_cast<int>(n);
#ifdef _WIN32
        const long sent = send(native(s), p, chunk, SEND_FLAGS);
#else
        const long sent = send(native(s), p, static_cast<std::size_t>(chunk), SEND_FLAGS);
#endif
        if (sent > 0) {
            p += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && !would_block()) {
            *why = last_error();
            return false;
        }
        const int ready = wait_for(native(s), POLLOUT, timeout_ms);
        if (ready == 0) {
            *why = "the peer read nothing for " + std::to_string(timeout_ms / 1000) + " s";
            return false;
        }
        if (ready < 0) {
            *why = last_error();
            return false;
        }
    }
    return true;
}

long rbb_receive(RbbSocket s, void* data, std::size_t n, int timeout_ms, std::string* why)
{
    const int ready = wait_for(native(s), POLLIN, timeout_ms);
    if (ready == 0) {
        return RBB_RECEIVE_TIMEOUT;
    }
    if (ready < 0) {
        *why = last_error();
        return RBB_RECEIVE_ERROR;
    }
#ifdef _WIN32
    const long got = recv(native(s), static_cast<char*>(data), n > 1u << 20 ? 1 << 20 : static_cast<int>(n), 0);
#else
    const long got = recv(native(s), data, n, 0);
#endif
    if (got > 0) {
        return got;
    }
    if (got == 0) {
        return RBB_RECEIVE_CLOSED;
    }
    if (would_block()) {
        return RBB_RECEIVE_TIMEOUT; // woken for nothing: the caller waits again
    }
    *why = last_error();
    return RBB_RECEIVE_ERROR;
}

void rbb_close(RbbSocket s)
{
    if (s != RBB_NO_SOCKET) {
        close_native(native(s));
    }
}

void rbb_close_listener(RbbSocket s, const RbbAddress& a)
{
    rbb_close(s);
    if (a.unix_socket && !a.path.empty()) {
#ifdef _WIN32
        DeleteFileA(a.path.c_str());
#else
        unlink(a.path.c_str());
#endif
    }
}
