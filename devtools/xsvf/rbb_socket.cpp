// Sockets for the remote-bitbang server and client over Asio: TCP and UNIX sockets alike as
// generic stream sockets; and the addresses "HOST:PORT" and "unix:PATH".
#include "devtools/xsvf/rbb_socket.h"

#include <asio.hpp>
#include <filesystem>

#include "sim/sim_config.h"

using Protocol = asio::generic::stream_protocol;

// One socket or listener with the context its operations run on: each link is used by one
// thread at a time, the server's and the client's by different threads.
struct RbbLink {
    asio::io_context io;
    Protocol::socket socket{io};
    asio::basic_socket_acceptor<Protocol> acceptor{io};
    std::string path; // a listener's UNIX socket file, removed when it closes
    std::size_t moved = 0; // bytes moved by the last operation
};

namespace {

// Starts an operation on the link (start takes its completion handler) and runs the link's
// context until it is done or ms have passed, then cancels it: the operation's error (timed_out
// when it did not complete), and the bytes it moved in l->moved.
template <typename Start>
std::error_code run(RbbLink* l, int ms, Start start)
{
    std::error_code result = asio::error::timed_out;
    start([&result, l](const std::error_code& ec, std::size_t moved = 0) {
        result = ec == asio::error::operation_aborted ? asio::error::timed_out : ec;
        l->moved = moved;
    });
    l->io.run_for(std::chrono::milliseconds(ms > 0 ? ms : 1));
    if (!l->io.stopped()) {
        std::error_code ignored;
        l->socket.cancel(ignored);
        l->acceptor.cancel(ignored);
        l->io.run();
    }
    l->io.restart();
    return result;
}

std::error_code connect_to(RbbLink* l, const Protocol::endpoint& at, int ms)
{
    const std::error_code result = run(l, ms, [&](auto done) { l->socket.async_connect(at, done); });
    std::error_code ignored;
    if (result) {
        l->socket.close(ignored);
    } else {
        l->socket.set_option(asio::ip::tcp::no_delay(true), ignored); // fails harmlessly on a UNIX socket
    }
    return result;
}

Protocol::endpoint unix_endpoint(const std::string& path)
{
    return Protocol::endpoint(asio::local::stream_protocol::endpoint(path));
}

// A UNIX socket path may be taken when nothing is there, or a socket that nobody listens on
// (left by a server that was killed), which is removed.
bool take_unix_path(const std::string& path, std::string* why)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (!std::filesystem::exists(status)) {
        return true;
    }
#ifndef _WIN32
    if (!std::filesystem::is_socket(status)) {
        *why = path + " exists and is not a socket";
        return false;
    }
#endif
    RbbLink probe;
    if (!connect_to(&probe, unix_endpoint(path), 2000)) {
        *why = "a server already listens on " + path;
        return false;
    }
    std::filesystem::remove(path, ec);
    return true;
}

} // namespace

bool rbb_parse_address(const char* text, RbbAddress* a, std::string* why)
{
    const std::string t = text;
    if (t.rfind("unix:", 0) == 0) {
        a->unix_socket = true;
        a->path = t.substr(5);
        if (a->path.empty() || a->path.size() > RBB_MAX_PATH) {
            *why = "a UNIX socket path has 1 to " + std::to_string(RBB_MAX_PATH) + " characters";
            return false;
        }
        return true;
    }
    const std::size_t colon = t.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == t.size()) {
        *why = "an address is HOST:PORT or unix:PATH";
        return false;
    }
    std::string host = t.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string port = t.substr(colon + 1);
    std::int32_t p = 0;
    if (!sim_parse_int32(port.data(), port.size(), &p) || p < 1 || p > 65535 || port[0] == '-' || host.empty()) {
        *why = "bad port " + port + " (1 to 65535)";
        return false;
    }
    a->unix_socket = false;
    a->host = host;
    a->port = p;
    return true;
}

std::string rbb_address_text(const RbbAddress& a)
{
    if (a.unix_socket) {
        return "unix:" + a.path;
    }
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

RbbSocket rbb_listen(RbbAddress* a, std::string* why)
{
    auto l = std::make_unique<RbbLink>();
    if (a->unix_socket && !take_unix_path(a->path, why)) {
        return RBB_NO_SOCKET;
    }
    try {
        // Opens, binds and listens; TCP with reuse_address, so that a restarted server gets its port back.
        if (a->unix_socket) {
            l->acceptor = asio::basic_socket_acceptor<Protocol>(l->io, unix_endpoint(a->path), false);
            l->path = a->path;
        } else {
            asio::ip::tcp::acceptor tcp(l->io, {asio::ip::address_v4::loopback(), static_cast<std::uint16_t>(a->port)});
            a->host = "127.0.0.1";
            a->port = tcp.local_endpoint().port();
            l->acceptor = std::move(tcp);
        }
    } catch (const std::system_error& e) {
        *why = "cannot listen on " + (a->unix_socket ? a->path : "127.0.0.1:" + std::to_string(a->port)) + ": " +
               e.code().message();
        return RBB_NO_SOCKET;
    }
    return l.release();
}

RbbSocket rbb_accept(RbbSocket listener, int timeout_ms, std::string* error)
{
    error->clear();
    auto client = std::make_unique<RbbLink>();
    const std::error_code result =
        run(listener, timeout_ms, [&](auto done) { listener->acceptor.async_accept(client->socket, done); });
    if (result == asio::error::timed_out) {
        return RBB_NO_SOCKET;
    }
    if (result) {
        *error = "accepting a client: " + result.message();
        return RBB_NO_SOCKET;
    }
    std::error_code ignored;
    client->socket.set_option(asio::ip::tcp::no_delay(true), ignored); // fails harmlessly on a UNIX socket
    return client.release();
}

RbbSocket rbb_connect(const RbbAddress& a, std::string* why)
{
    why->clear();
    auto l = std::make_unique<RbbLink>();
    std::error_code ec;
    if (a.unix_socket) {
        ec = connect_to(l.get(), unix_endpoint(a.path), 10000);
    } else {
        asio::ip::tcp::resolver resolver(l->io);
        const auto found = resolver.resolve(a.host, std::to_string(a.port), ec);
        if (ec) {
            *why = "cannot resolve " + a.host + ": " + ec.message();
            return RBB_NO_SOCKET;
        }
        ec = asio::error::host_not_found;
        for (auto it = found.begin(); it != found.end() && ec; ++it) {
            ec = connect_to(l.get(), Protocol::endpoint(it->endpoint()), 10000);
        }
    }
    if (ec) {
        *why = ec == asio::error::timed_out ? "no connection within 10 s" : ec.message();
        return RBB_NO_SOCKET;
    }
    return l.release();
}

bool rbb_send_all(RbbSocket s, const void* data, std::size_t n, int timeout_ms, std::string* why)
{
    const std::error_code result =
        run(s, timeout_ms, [&](auto done) { asio::async_write(s->socket, asio::buffer(data, n), done); });
    if (result) {
        *why = result == asio::error::timed_out ? "the peer read nothing for " + std::to_string(timeout_ms / 1000) + " s"
                                                 : result.message();
    }
    return !result;
}

long rbb_receive(RbbSocket s, void* data, std::size_t n, int timeout_ms, std::string* why, bool all)
{
    const auto enough = asio::transfer_at_least(all ? n : 1);
    const std::error_code result =
        run(s, timeout_ms, [&](auto done) { asio::async_read(s->socket, asio::buffer(data, n), enough, done); });
    if (result == asio::error::timed_out) {
        return RBB_RECEIVE_TIMEOUT;
    }
    if (result == asio::error::eof) {
        return RBB_RECEIVE_CLOSED;
    }
    if (result) {
        *why = result.message();
        return RBB_RECEIVE_ERROR;
    }
    return static_cast<long>(s->moved);
}

void rbb_close(RbbSocket s)
{
    const std::string path = s != RBB_NO_SOCKET ? s->path : "";
    delete s;
    if (!path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
}
