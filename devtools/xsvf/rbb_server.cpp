// The remote-bitbang server's loop: accepting clients, moving bytes, reporting sessions.
#include "devtools/xsvf/rbb_server.h"

#include <vector>

#include "devtools/xsvf/rbb_session.h"
#include "sim/logic_device.h"
#include "sim/sim_clock.h"

namespace {

constexpr std::size_t CHUNK = 65536;
constexpr int POLL_MS = 200; // how often a waiting server looks at the stop flag

// Serves one client; returns how the session ended.
std::string serve_client(RbbServer* server, RbbSocket client, RbbSession* session,
                        const volatile std::sig_atomic_t* stop)
{
    std::vector<std::uint8_t> in(CHUNK);
    std::vector<char> reply(CHUNK);
    std::string why;
    for (;;) {
        if (*stop) {
            return "the server is stopping";
        }
        const long got = rbb_receive(client, in.data(), in.size(), POLL_MS, &why);
        if (got == RBB_RECEIVE_TIMEOUT) {
            continue;
        }
        if (got == RBB_RECEIVE_CLOSED) {
            return "the client went away without Q";
        }
        if (got < 0) {
            return "receiving failed: " + why;
        }
        std::size_t answers = 0;
        const std::size_t used = rbb_session_feed(session, in.data(), static_cast<std::size_t>(got),
                                                  reply.data(), &answers);
        if (answers > 0 && !rbb_send_all(client, reply.data(), answers, server->reply_timeout_ms, &why)) {
            return "answering failed: " + why;
        }
        if (session->state == RbbSessionState::Quit) {
            const std::size_t ignored = static_cast<std::size_t>(got) - used;
            return ignored ? "Q (" + std::to_string(ignored) + " bytes after it ignored)" : "Q";
        }
        if (session->state == RbbSessionState::Refused) {
            const std::uint8_t c = session->refused;
            const std::string shown = c > 0x20 && c < 0x7F ? std::string(" ('") + static_cast<char>(c) + "')" : "";
            char text[128];
            std::snprintf(text, sizeof text,
                          "byte 0x%02x%s at offset %llu is not a remote-bitbang character; connection closed", c,
                          shown.c_str(), static_cast<unsigned long long>(session->received));
            return text;
        }
    }
}

void print_counters(std::FILE* log, const LogicCounters& before, const LogicCounters& after)
{
    std::fprintf(log,
                 "%u sectors erased, %u rows programmed, %u fetches, %u mode changes, %u short dwells, "
                 "%u operations refused",
                 after.sector_erases - before.sector_erases, after.rows_programmed - before.rows_programmed,
                 after.fetches - before.fetches, after.mode_changes - before.mode_changes,
                 after.short_dwells - before.short_dwells, after.refused - before.refused);
}

bool counters_differ(const LogicCounters& a, const LogicCounters& b)
{
    return a.sector_erases != b.sector_erases || a.rows_programmed != b.rows_programmed ||
           a.fetches != b.fetches || a.short_dwells != b.short_dwells || a.refused != b.refused ||
           a.mode_changes != b.mode_changes || a.address_latches != b.address_latches;
}

void run_session(RbbServer* server, RbbSocket client, const volatile std::sig_atomic_t* stop)
{
    const int number = ++server->sessions;
    RbbSession session;
    rbb_session_begin(&session, sim_card_target(server->card), server->tck_hz);
    const LogicCounters start = server->card->device.counters;
    const std::uint64_t started_ns = sim_clock_now_ns();
    const std::string how = serve_client(server, client, &session, stop);
    rbb_close(client);

    std::FILE* log = server->log;
    std::fprintf(log,
                 "xsvf serve: session %d ended: %s; %llu characters, %llu TCK cycles, %llu TDO reads, "
                 "%llu sleeps of 1 ms and %llu of 1 us; %.6f s on the card's %s clock\n",
                 number, how.c_str(), static_cast<unsigned long long>(session.received),
                 static_cast<unsigned long long>(session.tck_cycles), static_cast<unsigned long long>(session.reads),
                 static_cast<unsigned long long>(session.sleeps_ms), static_cast<unsigned long long>(session.sleeps_us),
                 static_cast<double>(sim_clock_now_ns() - started_ns) / 1e9, server->tck_hz ? "virtual" : "host");
    const LogicCounters by_client = server->card->device.counters;
    const LogicTapState left = server->card->device.state;
    if (left != LogicTapState::TestLogicReset) {
        // A client that left the TAP elsewhere (mid-shift, or in Run-Test/Idle with an
        // operation selected) must not have that finished by the next client's first clock:
        // the server finishes its session here, with the dwell the client really gave.
        rbb_session_reset_tap(&session);
        std::fprintf(log, "xsvf serve:   the client left the TAP in %s%s; returned it to RESET", logic_tap_state_name(left),
                     left == LogicTapState::ShiftDr || left == LogicTapState::ShiftIr ? " (a shift cut off)" : "");
        if (counters_differ(by_client, server->card->device.counters)) {
            std::fputs(", which carried out what the client had set up: ", log);
            print_counters(log, by_client, server->card->device.counters);
        }
        std::fputc('\n', log);
    }
    rbb_session_end(&session);
    std::fputs("xsvf serve:   the card in this session: ", log);
    print_counters(log, start, server->card->device.counters);
    std::fputc('\n', log);
    std::fflush(log);
}

} // namespace

bool rbb_server_open(RbbServer* server, std::string* why)
{
    server->listener = rbb_listen(&server->address, why);
    return server->listener != RBB_NO_SOCKET;
}

void rbb_server_run(RbbServer* server, int max_sessions, const volatile std::sig_atomic_t* stop)
{
    const int first = server->sessions;
    while (!*stop && (max_sessions <= 0 || server->sessions - first < max_sessions)) {
        std::string error;
        const RbbSocket client = rbb_accept(server->listener, POLL_MS, &error);
        if (client == RBB_NO_SOCKET) {
            if (!error.empty()) {
                std::fprintf(server->log, "xsvf serve: %s\n", error.c_str());
            }
            continue;
        }
        run_session(server, client, stop);
    }
}

void rbb_server_close(RbbServer* server)
{
    rbb_close(server->listener);
    server->listener = RBB_NO_SOCKET;
}
