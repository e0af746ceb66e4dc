// The remote-bitbang client as a register target of the simulated platform.
#include "devtools/xsvf/rbb_target.h"

#include <string_view>
#include <thread>

#include "card/port_registers.h"
#include "devtools/xsvf/rbb_server.h" // the protocol's digits
#include "platform/regs.h"
#include "sim/sim_clock.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t BATCH = 65536;
// Waits shorter than this are spun out on the clock; sleeping would overshoot them many times.
constexpr std::uint64_t SPIN_BELOW_NS = 2000000;
// Answers owed at most: 4 KiB of answers fit the socket buffers of both sides on every system,
// so the far side can always send them while the target is still sending.
constexpr std::size_t MAX_OWED = 4096;

void store_bit(const RbbOwedRead& r, int answer)
{
    reg_store_bit(r.into, r.at, answer != 0 ? 1u : 0u, 0);
}

void fail(RbbTarget* t, const std::string& why)
{
    if (t->error.empty()) {
        t->error = why;
    }
    rbb_close(t->socket);
    t->socket = RBB_NO_SOCKET;
    t->out.clear();
    for (const RbbOwedRead& r : t->owed) {
        store_bit(r, 1); // reads answer 1 once the connection is gone
    }
    t->owed.clear();
}

bool flush(RbbTarget* t)
{
    if (!t->error.empty()) {
        return false;
    }
    std::string why;
    if (!t->out.empty() && !rbb_send_all(t->socket, t->out.data(), t->out.size(), t->answer_timeout_ms, &why)) {
        fail(t, "sending failed: " + why);
        return false;
    }
    t->bytes_sent += t->out.size();
    t->out.clear();
    return true;
}

// Sends what waits and takes every answer owed, in order (owe_read keeps them to MAX_OWED).
void collect(RbbTarget* t)
{
    if (t->owed.empty() || !flush(t)) {
        return;
    }
    ++t->round_trips;
    char answers[MAX_OWED];
    std::string why;
    const long got = rbb_receive(t->socket, answers, t->owed.size(), t->answer_timeout_ms, &why, true);
    if (got <= 0) {
        fail(t, got == RBB_RECEIVE_CLOSED  ? std::string("the server closed the connection")
                : got == RBB_RECEIVE_ERROR ? "receiving failed: " + why
                                           : "no answer to 'R' within " +
                                                 std::to_string(t->answer_timeout_ms / 1000) + " s");
        return;
    }
    for (std::size_t i = 0; i < t->owed.size(); ++i) {
        if (answers[i] != '0' && answers[i] != '1') {
            fail(t, "the server answered 'R' with byte " + std::to_string(static_cast<unsigned char>(answers[i])));
            return;
        }
        store_bit(t->owed[i], answers[i] - '0');
    }
    t->owed.clear();
}

// Queues 'R' and where its answer goes; takes the answers when too many are owed.
void owe_read(RbbTarget* t, std::uint8_t* into, unsigned at)
{
    const RbbOwedRead r{into, static_cast<std::uint8_t>(at & 7u)};
    if (!t->error.empty()) {
        store_bit(r, 1);
        return;
    }
    t->out.push_back('R');
    t->owed.push_back(r);
    if (t->owed.size() >= MAX_OWED) {
        collect(t);
    }
}

// Sends 'R' with everything before it and returns the answer, 0 or 1 (1 once the
// connection has failed).
int ask_tdo(RbbTarget* t)
{
    std::uint8_t answer = 1;
    owe_read(t, &answer, 0);
    collect(t);
    return answer & 1;
}

// A wait on the host starts only when the far side has acted on everything before it.
void wait_on_host(RbbTarget* t, std::uint64_t ns)
{
    ask_tdo(t);
    if (!t->error.empty()) {
        return;
    }
    const Clock::time_point start = Clock::now();
    const Clock::time_point until = start + std::chrono::nanoseconds(ns);
    if (ns >= SPIN_BELOW_NS) {
        std::this_thread::sleep_until(until);
    }
    while (Clock::now() < until) {
        // spin: the wait is too short to sleep
    }
    t->waited_ns += static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

// Queues count copies of the characters, sending whenever a batch is full.
void append(RbbTarget* t, std::uint64_t count, std::string_view characters)
{
    for (std::uint64_t i = 0; i < count && t->error.empty(); ++i) {
        t->out.append(characters);
        if (t->out.size() >= BATCH) {
            flush(t);
        }
    }
}

void send_cycles(RbbTarget* t, std::uint64_t ns)
{
    const std::uint64_t hz = t->cycle_hz;
    const std::uint64_t cycles = ns / RBB_NS_PER_S * hz + (ns % RBB_NS_PER_S * hz + RBB_NS_PER_S - 1) / RBB_NS_PER_S;
    const PortLines now = port_lines(t->digit != 0 ? rbb_control_word(t->digit) : 0);
    const char pair[2] = {rbb_digit(!now.tck, now.tms, now.tdi), rbb_digit(now.tck, now.tms, now.tdi)};
    append(t, cycles, {pair, 2});
    if (cycles > 0) {
        t->tck_cycles += cycles;
        t->digit = pair[1];
    }
}

void wait_ns(RbbTarget* t, std::uint64_t ns)
{
    ++t->waits_total;
    t->wait_ns += ns;
    switch (t->waits) {
    case RbbWaits::Host:
        wait_on_host(t, ns);
        break;
    case RbbWaits::SleepCharacters:
        append(t, ns / RBB_NS_PER_MS, "Z");
        append(t, (ns % RBB_NS_PER_MS + RBB_NS_PER_US - 1) / RBB_NS_PER_US, "z");
        break;
    case RbbWaits::TckCycles:
        send_cycles(t, ns);
        break;
    }
}

// The busy-wait passes decoded so far, waited.
void realise_waits(RbbTarget* t)
{
    port_decode_settle(&t->port);
    if (t->port.passes > 0) {
        const std::uint64_t ns = t->port.passes * SIM_NS_PER_WRITE;
        t->port.passes = 0;
        wait_ns(t, ns);
    }
}

// The lines as their digit, when they differ from what the far side has; edge is TCK's.
void send_lines(RbbTarget* t, int edge)
{
    const PortLines& l = t->port.lines;
    const char digit = rbb_digit(l.tck, l.tms, l.tdi);
    if (digit == t->digit) {
        return;
    }
    t->tck_cycles += edge > 0 ? 1 : 0;
    t->digit = digit;
    append(t, 1, {&digit, 1});
}

void target_write(void* context, std::uint32_t offset, std::uint32_t value)
{
    auto* t = static_cast<RbbTarget*>(context);
    int edge = 0;
    port_decode_write(&t->port, offset, value, &edge);
    if (offset != PORT_CONTROL_WORD_0 || t->port.repeat_pending) {
        return; // the other words do nothing; a repeat waits to be told apart
    }
    realise_waits(t);
    if (t->error.empty()) {
        send_lines(t, edge);
    }
}

std::uint32_t target_read(void* context, std::uint32_t offset)
{
    auto* t = static_cast<RbbTarget*>(context);
    const std::uint32_t index = port_control_index(offset);
    if (index < PORT_CONTROL_WORDS) {
        return t->port.control[index];
    }
    if (offset != PORT_STATUS_WORD) {
        return 0;
    }
    realise_waits(t);
    if (!t->port.lines.enabled) {
        return port_status_word_of(1);
    }
    ++t->reads;
    return port_status_word_of(ask_tdo(t));
}

void target_read_bit(void* context, std::uint32_t offset, unsigned bit, std::uint8_t* into, unsigned at)
{
    auto* t = static_cast<RbbTarget*>(context);
    if (offset != PORT_STATUS_WORD || (bit & 31u) != PORT_TDO_BIT || !t->port.lines.enabled) {
        reg_store_bit(into, at, target_read(context, offset), bit); // a plain read: no answer to owe
        return;
    }
    realise_waits(t);
    ++t->reads;
    owe_read(t, into, at);
}

void target_collect(void* context)
{
    collect(static_cast<RbbTarget*>(context));
}

void target_sleep(void* context, std::uint32_t milliseconds)
{
    auto* t = static_cast<RbbTarget*>(context);
    realise_waits(t);
    wait_ns(t, std::uint64_t{milliseconds} * RBB_NS_PER_MS);
}

} // namespace

bool rbb_target_connect(RbbTarget* t, const RbbAddress& address, std::string* why)
{
    t->socket = rbb_connect(address, why);
    t->started = Clock::now();
    return t->socket != RBB_NO_SOCKET;
}

SimTarget rbb_target(RbbTarget* t)
{
    return SimTarget{t, target_read, target_write, target_sleep, target_read_bit, target_collect};
}

bool rbb_target_finish(RbbTarget* t)
{
    realise_waits(t);
    collect(t);
    t->out.push_back('Q');
    flush(t);
    rbb_close(t->socket);
    t->socket = RBB_NO_SOCKET;
    return t->error.empty();
}

double rbb_target_seconds(const RbbTarget* t)
{
    return std::chrono::duration<double>(Clock::now() - t->started).count();
}
