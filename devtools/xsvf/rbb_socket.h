// The byte stream under the remote-bitbang server and client: a TCP connection or a UNIX
// socket, behind a handful of calls over Asio (in the Windows builds over Winsock, where UNIX
// sockets need Windows 10 1803 or later; older systems refuse them with a message).
//
// The calls that wait take a timeout, so that neither side can hang on a peer that stops
// reading or answering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A socket or a listener; rbb_close ends it, and removes a listener's UNIX socket file.
struct RbbLink;
using RbbSocket = RbbLink*;
constexpr RbbSocket RBB_NO_SOCKET = nullptr;

// UNIX socket paths are at most this long (the room of sockaddr_un less its final zero).
constexpr std::size_t RBB_MAX_PATH = 107;

struct RbbAddress {
    bool unix_socket = false;
    std::string host;  // TCP: name or numeric address
    int port = 0;      // TCP: 0 lets the server pick a free port
    std::string path;  // UNIX socket
};

// Parses "HOST:PORT" (HOST may be a name, an IPv4 address or a bracketed IPv6 address) or
// "unix:PATH". On failure returns false and says why.
bool rbb_parse_address(const char* text, RbbAddress* address, std::string* why);
// "127.0.0.1:3335" or "unix:/tmp/card.sock".
std::string rbb_address_text(const RbbAddress& address);

// Listens on the address: TCP is bound to 127.0.0.1 whatever the host says; a stale UNIX
// socket file (nobody listening) is replaced, anything else at the path is refused. With
// port 0 the chosen port is stored back into address->port.
RbbSocket rbb_listen(RbbAddress* address, std::string* why);
// Waits up to timeout_ms for a client. RBB_NO_SOCKET on timeout (error stays empty) or on
// failure (error says why). The client's socket may be used from another thread than the
// listener's.
RbbSocket rbb_accept(RbbSocket listener, int timeout_ms, std::string* error);
RbbSocket rbb_connect(const RbbAddress& address, std::string* why);

// Sends all n bytes, waiting at most timeout_ms for room each time the peer's window is
// full. False (with why) when the peer is gone, an error occurs, or the timeout passes.
bool rbb_send_all(RbbSocket s, const void* data, std::size_t n, int timeout_ms, std::string* why);

enum RbbReceive : long { RBB_RECEIVE_CLOSED = 0, RBB_RECEIVE_ERROR = -1, RBB_RECEIVE_TIMEOUT = -2 };
// Receives up to n bytes (with all, n bytes), waiting at most timeout_ms for the first (with
// all, for every one): the count received (> 0), or one of RbbReceive (an error says why).
long rbb_receive(RbbSocket s, void* data, std::size_t n, int timeout_ms, std::string* why, bool all = false);

void rbb_close(RbbSocket s);
