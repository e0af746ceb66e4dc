// The remote-bitbang client as a register target of the simulated platform.
#include "devtools/xsvf/rbb_target.h"

#include <thread>

#include "card/port_registers.h"
#include "devtools/xsvf/rbb_session.h"
#include "sim/sim_clock.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t BATCH = 65536;
constexpr std::uint32_t TDO_HIGH = 1u << PORT_TDO_BIT;
// Waits shorter than this are spun out on the clock; sleeping would overshoot them many times.
constexpr std::uint64_t SPIN_BELOW_NS = 2000000;

void fail(RbbTarget* t, const std::string& why)
{
    if (t->error.empty()) {
        t->error = why;
    }
    rbb_close(t->socket);
    t->socket = RBB_NO_SOCKET;
    t->out.clear();
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

// Sends 'R' with everything before it and returns the answer, 0 or 1; -1 on failure.
int ask_tdo(RbbTarget* t)
{
    t->out.push_back('R');
    if (!flush(t)) {
        return -1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(t->answer_timeout_ms);
    for (;;) {
        char answer = 0;
        std::string why;
        const long got = rbb_receive(t->socket, &answer, 1, 200, &why);
        if (got == 1) {
            if (answer == '0' || answer == '1') {
                return answer - '0';
            }
            fail(t, "the server answered 'R' with byte " + std::to_string(static_cast<unsigned char>(answer)));
            return -1;
        }
        if (got == RBB_RECEIVE_CLOSED) {
            fail(t, "the server closed the connection");
            return -1;
        }
        if (got == RBB_RECEIVE_ERROR) {
            fail(t, "receiving failed: " + why);
            return -1;
        }
        if (Clock::now() >= deadline) {
            fail(t, "no answer to 'R' within " + std::to_string(t->answer_timeout_ms / 1000) + " s");
            return -1;
        }
    }
}

void wait_real(RbbTarget* t, std::uint64_t ns)
{
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

// A wait starts only when the far side has acted on everything before it.
void wait_after_sync(RbbTarget* t, std::uint64_t ns)
{
    ++t->syncs;
    if (ask_tdo(t) >= 0) {
        wait_real(t, ns);
    }
}

// Tells apart a repeated write of control word 0 that nothing followed: a busy-wait pass.
void settle(RbbTarget* t)
{
    if (t->repeat_pending) {
        t->repeat_pending = false;
        ++t->pending_passes;
    }
}

void realise_waits(RbbTarget* t)
{
    settle(t);
    if (t->pending_passes > 0) {
        const std::uint64_t ns = t->pending_passes * SIM_NS_PER_WRITE;
        t->pending_passes = 0;
        wait_after_sync(t, ns);
    }
}

void send_lines(RbbTarget* t, std::uint32_t word)
{
    const bool enabled = (word & PORT_JTAG_ENABLE) != 0;
    const char digit = enabled ? rbb_digit((word & PORT_TCK_BIT) != 0, (word & PORT_TMS_BIT) != 0,
                                           (word & PORT_TDI_BIT) != 0)
                               : rbb_digit(0, 0, 0);
    if (digit == t->lines) {
        return;
    }
    const bool rising = (rbb_control_word(digit) & PORT_TCK_BIT) &&
                        !(t->lines != 0 && (rbb_control_word(t->lines) & PORT_TCK_BIT));
    t->tck_cycles += rising ? 1 : 0;
    t->lines = digit;
    t->out.push_back(digit);
    if (t->out.size() >= BATCH) {
        flush(t);
    }
}

void target_write(void* context, std::uint32_t offset, std::uint32_t value)
{
    auto* t = static_cast<RbbTarget*>(context);
    const std::uint32_t index = port_control_index(offset);
    if (index >= PORT_CONTROL_WORDS) {
        return;
    }
    if (index == 1) {
        t->repeat_pending = false; // that repeat was the first write of a TCK change
    }
    if (index != 0) {
        t->control[index] = value;
        return;
    }
    settle(t);
    if (value == t->control[0] && t->lines != 0) {
        t->repeat_pending = true;
        return;
    }
    realise_waits(t);
    t->control[0] = value;
    if (t->error.empty()) {
        send_lines(t, value);
    }
}

std::uint32_t target_read(void* context, std::uint32_t offset)
{
    auto* t = static_cast<RbbTarget*>(context);
    const std::uint32_t index = port_control_index(offset);
    if (index < PORT_CONTROL_WORDS) {
        return t->control[index];
    }
    if (offset != PORT_STATUS_WORD) {
        return 0;
    }
    realise_waits(t);
    if (!(t->control[0] & PORT_JTAG_ENABLE)) {
        return TDO_HIGH;
    }
    ++t->reads;
    return ask_tdo(t) == 0 ? 0 : TDO_HIGH;
}

void target_sleep(void* context, std::uint32_t milliseconds)
{
    auto* t = static_cast<RbbTarget*>(context);
    realise_waits(t);
    wait_after_sync(t, std::uint64_t{milliseconds} * 1000000u);
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
    SimTarget s;
    s.context = t;
    s.read = target_read;
    s.write = target_write;
    s.sleep = target_sleep;
    return s;
}

bool rbb_target_finish(RbbTarget* t)
{
    realise_waits(t);
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
