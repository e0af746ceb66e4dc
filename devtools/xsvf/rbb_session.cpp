// The server's side of the remote-bitbang protocol, on a card's register block.
#include "devtools/xsvf/rbb_session.h"

#include "card/port_lines.h"
#include "sim/sim_clock.h"

namespace {

constexpr int DIGIT_TCK = 4;
constexpr int DIGIT_TMS = 2;
constexpr int DIGIT_TDI = 1;
constexpr int TAP_RESET_EDGES = 5;
constexpr std::uint64_t NS_PER_S = 1000000000u;
constexpr std::uint64_t NS_PER_SLEEP_MS = 1000000u;
constexpr std::uint64_t NS_PER_SLEEP_US = 1000u;

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

} // namespace

std::uint64_t rbb_half_periods_ns(std::uint64_t half_periods, std::uint32_t tck_hz)
{
    // The remainder is below 2 tck_hz < 2^33, times 10^9 < 2^30: below 2^63. Whole seconds
    // beyond 584 years saturate.
    const std::uint64_t per_second = 2u * static_cast<std::uint64_t>(tck_hz);
    const std::uint64_t seconds = half_periods / per_second;
    const std::uint64_t never = ~std::uint64_t{0};
    if (seconds > never / NS_PER_S - 1) {
        return never;
    }
    return seconds * NS_PER_S + half_periods % per_second * NS_PER_S / per_second;
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

void rbb_session_begin(RbbSession* s, const SimTarget& card, std::uint32_t tck_hz)
{
    *s = RbbSession{};
    s->card = card;
    s->tck_hz = tck_hz;
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
            sim_clock_give_ns(NS_PER_SLEEP_MS);
            ++s->sleeps_ms;
        } else if (c == 'z') {
            sim_clock_give_ns(NS_PER_SLEEP_US);
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
