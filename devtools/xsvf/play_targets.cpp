// The targets of xsvf play beyond the recorder and the card: a trace in front of any target,
// and the connection to a remote-bitbang server.
#include "devtools/xsvf/play_targets.h"

#include <string>

#include "sim/recording_target.h"

namespace {

void tee_line(TeeTarget* t, const RecordedEvent& e)
{
    const std::string line = recorded_event_text(e);
    std::fputs(line.c_str(), t->trace);
    std::fputc('\n', t->trace);
}

} // namespace

SimTarget tee_target(TeeTarget* tee)
{
    SimTarget t;
    t.context = tee;
    t.read = [](void* c, std::uint32_t offset) {
        auto* tt = static_cast<TeeTarget*>(c);
        const std::uint32_t v = tt->inner.read(tt->inner.context, offset);
        tee_line(tt, {'R', offset, v});
        return v;
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* tt = static_cast<TeeTarget*>(c);
        tt->inner.write(tt->inner.context, offset, value);
        tee_line(tt, {'W', offset, value});
    };
    t.sleep = [](void* c, std::uint32_t ms) {
        auto* tt = static_cast<TeeTarget*>(c);
        if (tt->inner.sleep) {
            tt->inner.sleep(tt->inner.context, ms);
        }
        tee_line(tt, {'S', 0, ms});
    };
    return t;
}

bool play_finish_remote(RbbTarget* remote)
{
    const bool ok = rbb_target_finish(remote);
    const double seconds = rbb_target_seconds(remote);
    std::fprintf(stderr,
                 "xsvf: rbb: %llu TCK cycles in %.2f s (%.0f TCK/s); %llu TDO reads, %llu bytes sent, "
                 "%llu waits (%.2f s of them)\n",
                 static_cast<unsigned long long>(remote->tck_cycles), seconds,
                 seconds > 0 ? static_cast<double>(remote->tck_cycles) / seconds : 0.0,
                 static_cast<unsigned long long>(remote->reads), static_cast<unsigned long long>(remote->bytes_sent),
                 static_cast<unsigned long long>(remote->syncs), static_cast<double>(remote->waited_ns) / 1e9);
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
