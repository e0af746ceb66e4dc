// The remote-bitbang server: the protocol on a card's register block, the loop accepting
// clients, moving bytes and reporting sessions.
#include "devtools/xsvf/rbb_server.h"

#include <vector>

#include "card/port_lines.h"
#include "sim/logic_device.h"
#include "sim/sim_clock.h"

namespace {

constexpr int DIGIT_TCK = 4;
constexpr int DIGIT_TMS = 2;
constexpr int DIGIT_TDI = 1;
constexpr int TAP_RESET_EDGES = 5;
constexpr std::size_t CHUNK = 65536;
constexpr int POLL_MS = 200; // how often a waiting server looks at the stop flag

void set_lines(RbbSession* s, char digit)
{
    const std::uint32_t value = rbb_control_word(digit);
    if (value == s->word) {
        return;
    }
    if ((value & PORT_TCK_BIT) && !(s->word & PORT_TCK_BIT)) {
        ++s->tck_cycles;
    }
    s->word = value;
    for (std::uint32_t k = 0; k < PORT_CONTROL_WORDS; ++k) {
        s->card.write(s->card.context, port_control_word(k), value);
    }
}

// A digit holds the lines for half a period of the virtual clock: the time moves on by the
// difference of the rounded totals, so that no fraction of a nanosecond is lost.
void hold_lines(RbbSession* s)
{
    ++s->digits;
    if (s->tck_hz != 0) {
        sim_clock_give_ns(rbb_half_periods_ns(s->digits, s->tck_hz) -
                          rbb_half_periods_ns(s->digits - 1, s->tck_hz));
    }
}

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
    RbbSession session{.card = sim_card_target(server->card), .tck_hz = server->tck_hz};
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

std::uint64_t rbb_half_periods_ns(std::uint64_t half_periods, std::uint32_t tck_hz)
{
    // The remainder is below 2 tck_hz < 2^33, times 10^9 < 2^30: below 2^63. Whole seconds
    // beyond 584 years saturate.
    const std::uint64_t per_second = 2u * static_cast<std::uint64_t>(tck_hz);
    const std::uint64_t seconds = half_periods / per_second;
    const std::uint64_t never = ~std::uint64_t{0};
    if (seconds > never / RBB_NS_PER_S - 1) {
        return never;
    }
    return seconds * RBB_NS_PER_S + half_periods % per_second * RBB_NS_PER_S / per_second;
}

char rbb_digit(int tck, int tms, int tdi)
{
    return static_cast<char>('0' + (tck ? DIGIT_TCK : 0) + (tms ? DIGIT_TMS : 0) + (tdi ? DIGIT_TDI : 0));
}

std::uint32_t rbb_control_word(char digit)
{
    const int v = digit - '0';
    return port_word((v & DIGIT_TCK) != 0, (v & DIGIT_TMS) != 0, (v & DIGIT_TDI) != 0);
}

std::size_t rbb_session_feed(RbbSession* s, const std::uint8_t* bytes, std::size_t n, char* reply,
                             std::size_t* reply_length)
{
    *reply_length = 0;
    std::size_t i = 0;
    while (i < n && s->state == RbbSessionState::Open) {
        const std::uint8_t c = bytes[i++];
        if (c >= '0' && c <= '7') {
            set_lines(s, static_cast<char>(c));
            hold_lines(s);
        } else if (c == 'Z') {
            sim_clock_give_ns(RBB_NS_PER_MS);
            ++s->sleeps_ms;
        } else if (c == 'z') {
            sim_clock_give_ns(RBB_NS_PER_US);
            ++s->sleeps_us;
        } else if (c == 'R') {
            reply[(*reply_length)++] = port_tdo_of(s->card.read(s->card.context, PORT_STATUS_WORD)) ? '1' : '0';
            ++s->reads;
        } else if (c == 'Q') {
            s->state = RbbSessionState::Quit;
        } else if (c == 'B' || c == 'b' || (c >= 'r' && c <= 'u')) {
            // LED and reset lines: the card has neither.
        } else {
            s->state = RbbSessionState::Refused;
            s->refused = c;
            return i;
        }
        ++s->received;
    }
    return i;
}

void rbb_session_reset_tap(RbbSession* s)
{
    for (int i = 0; i < TAP_RESET_EDGES; ++i) {
        set_lines(s, rbb_digit(0, 1, 0));
        set_lines(s, rbb_digit(1, 1, 0));
    }
    set_lines(s, rbb_digit(0, 1, 0));
}

void rbb_session_end(RbbSession* s)
{
    if (s->word != 0) {
        s->word = 0;
        s->card.write(s->card.context, PORT_CONTROL_WORD_0, 0);
    }
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
