// The connection of xsvf play to a remote-bitbang server.
#include "devtools/xsvf/play_remote.h"

#include <cstdio>
#include <string>

bool play_finish_remote(RbbTarget* remote)
{
    const bool ok = rbb_target_finish(remote);
    const double seconds = rbb_target_seconds(remote);
    const char* how = remote->waits == RbbWaits::Host              ? "on the host"
                      : remote->waits == RbbWaits::SleepCharacters ? "sent as sleep characters"
                                                                   : "sent as TCK cycles";
    std::fprintf(stderr,
                 "xsvf: rbb: %llu TCK cycles in %.2f s (%.0f TCK/s); %llu TDO reads in %llu round trips, "
                 "%llu bytes sent, %llu waits %s (%.2f s of them",
                 static_cast<unsigned long long>(remote->tck_cycles), seconds,
                 seconds > 0 ? static_cast<double>(remote->tck_cycles) / seconds : 0.0,
                 static_cast<unsigned long long>(remote->reads), static_cast<unsigned long long>(remote->round_trips),
                 static_cast<unsigned long long>(remote->bytes_sent),
                 static_cast<unsigned long long>(remote->waits_total), how,
                 static_cast<double>(remote->wait_ns) / 1e9);
    if (remote->waits == RbbWaits::Host) {
        std::fprintf(stderr, ", %.2f s passed", static_cast<double>(remote->waited_ns) / 1e9);
    }
    std::fputs(")\n", stderr);
    if (!ok) {
        std::fprintf(stderr, "xsvf: the connection to the remote-bitbang server broke: %s\n", remote->error.c_str());
    }
    return ok;
}

bool play_connect_remote(RbbTarget* remote, const RbbAddress& address)
{
    std::string why;
    if (!rbb_target_connect(remote, address, &why)) {
        std::fprintf(stderr, "xsvf: cannot connect to %s: %s\n", rbb_address_text(address).c_str(), why.c_str());
        return false;
    }
    return true;
}
