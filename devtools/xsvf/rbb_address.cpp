// Addresses of remote-bitbang sockets: "HOST:PORT" and "unix:PATH".
#include <cstdlib>

#include "devtools/xsvf/rbb_native.h"
#include "devtools/xsvf/rbb_socket.h"

bool rbb_parse_address(const char* text, RbbAddress* a, std::string* why)
{
    const std::string t = text;
    if (t.rfind("unix:", 0) == 0) {
        a->unix_socket = true;
        a->path = t.substr(5);
        sockaddr_un sun;
        return rbb_native::unix_address(a->path, &sun, why);
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
    char* end = nullptr;
    const long p = std::strtol(port.c_str(), &end, 10);
    if (*end != '\0' || p < 1 || p > 65535 || port[0] == '+' || port[0] == '-' || host.empty()) {
        *why = "bad port " + port + " (1 to 65535)";
        return false;
    }
    a->unix_socket = false;
    a->host = host;
    a->port = static_cast<int>(p);
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
