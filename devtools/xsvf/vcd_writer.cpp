// The VCD writer: follows the lines and a TAP controller model through the accesses, and
// writes what changed while the chosen commands run.
#include "devtools/xsvf/vcd_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string_view>

#include "card/port_registers.h"
#include "images/image_source.h"
#include "sim/sim_clock.h"
#include "sim/sim_config.h"

namespace {

enum Signal { TCK, TMS, TDI, TDO, ENABLE, TAP, COMMAND };

// A signal's identifier code is '!' plus its number: "!" for tck to "'" for command.
constexpr const char* DECLARATIONS[VCD_SIGNALS] = {
    "$var wire 1 ! tck $end",
    "$var wire 1 \" tms $end",
    "$var wire 1 # tdi $end",
    "$var wire 1 $ tdo $end",
    "$var wire 1 % jtag_enable $end",
    "$var string 1 & tap_state $end",
    "$var integer 32 ' command $end",
};

std::string bit_text(bool on)
{
    return on ? "1" : "0";
}

// A signal's value as a value change line spells it: a bit, "b" and a vector's binary digits,
// "s" and a string.
std::string value_text(const VcdWriter* v, int signal)
{
    switch (signal) {
    case TCK: return bit_text(v->port.lines.tck);
    case TMS: return bit_text(v->port.lines.tms);
    case TDI: return bit_text(v->port.lines.tdi);
    case TDO: return v->tdo < 0 ? "x" : bit_text(v->tdo != 0);
    case ENABLE: return bit_text(v->port.lines.enabled);
    case TAP:
        return std::string("s") + (std::has_single_bit(v->tap_states)
                                       ? logic_tap_state_name(static_cast<LogicTapState>(std::countr_zero(v->tap_states)))
                                       : "UNKNOWN");
    default: {
        char digits[33] = "b";
        return {digits, std::to_chars(digits + 1, digits + 33, static_cast<std::uint32_t>(v->command), 2).ptr};
    }
    }
}

// One value change line: scalars "1!", vectors "b101 '", strings "sIDLE &".
void write_value(VcdWriter* v, int signal, const std::string& text)
{
    std::fprintf(v->file, "%s%s%c\n", text.c_str(), signal >= TAP ? " " : "", '!' + signal);
    v->shown[signal] = text;
}

int command_at(const VcdWriter* v, std::uint32_t read_index)
{
    if (read_index == 0) {
        return 0;
    }
    const auto& s = v->command_starts;
    return static_cast<int>(std::upper_bound(s.begin(), s.end(), read_index - 1) - s.begin());
}

void start_dump(VcdWriter* v, std::uint64_t now)
{
    v->dumping = true;
    v->origin_ns = now;
    v->time = 0;
    v->changed_at_time = (1u << VCD_SIGNALS) - 1; // later changes at this time would hide these
    std::fputs("#0\n$dumpvars\n", v->file);
    for (int s = 0; s < VCD_SIGNALS; ++s) {
        write_value(v, s, value_text(v, s));
    }
    std::fputs("$end\n", v->file);
}

// The closing time stamp: the values dumped last last until now.
void end_dump(VcdWriter* v, std::uint64_t now)
{
    const std::uint64_t t = now > v->origin_ns ? now - v->origin_ns : 0;
    std::fprintf(v->file, "#%llu\n", static_cast<unsigned long long>(t > v->time ? t : v->time + 1));
    v->dumping = false;
    v->finished = true;
}

// Called after every access: writes what changed, at the current time.
void sample(VcdWriter* v)
{
    v->command = command_at(v, ImageReadIndex);
    const bool in_range = v->command >= v->first && v->command <= v->last;
    const std::uint64_t now = sim_clock_now_ns();
    if (!v->dumping) {
        if (in_range && !v->finished) {
            start_dump(v, now);
        }
        return;
    }
    if (!in_range) {
        end_dump(v, now); // commands only move on: the range is over
        return;
    }
    std::uint64_t t = now > v->origin_ns ? now - v->origin_ns : 0;
    for (int s = 0; s < VCD_SIGNALS; ++s) {
        const std::string text = value_text(v, s);
        if (text == v->shown[s]) {
            continue;
        }
        // A second change of one signal at one time stamp would hide the first: it goes
        // 1 ns later. Equal times come from reads, which take no virtual time.
        const unsigned bit = 1u << s;
        t = std::max(t, (v->changed_at_time & bit) ? v->time + 1 : v->time);
        if (t != v->time) {
            std::fprintf(v->file, "#%llu\n", static_cast<unsigned long long>(t));
            v->time = t;
            v->changed_at_time = 0;
        }
        v->changed_at_time |= bit;
        write_value(v, s, text);
    }
}

// A rising edge moves every state that the TAP may be in.
void clock_tap(VcdWriter* v, bool tms)
{
    std::uint32_t next = 0;
    for (int s = 0; s < 16; ++s) {
        if (v->tap_states & (1u << s)) {
            next |= 1u << static_cast<int>(logic_tap_next(static_cast<LogicTapState>(s), tms ? 1 : 0));
        }
    }
    v->tap_states = next;
}

// Each access, once it has reached the target behind: writes move the lines and the TAP,
// reads of the status word carry TDO.
void vcd_seen(void* context, const RecordedEvent& e)
{
    auto* v = static_cast<VcdWriter*>(context);
    if (e.kind == 'W') {
        int edge = 0;
        port_decode_write(&v->port, e.offset, e.value, &edge);
        if (edge > 0) {
            clock_tap(v, v->port.lines.tms);
        }
        if (e.offset == PORT_CONTROL_WORD_0) {
            sample(v);
        }
    } else if (e.kind == 'R' && e.offset == PORT_STATUS_WORD) {
        v->tdo = port_tdo_of(e.value);
        sample(v);
    }
}

} // namespace

void vcd_begin(VcdWriter* v, std::vector<std::uint32_t> command_starts, const SimTarget& inner, int first, int last,
               bool host_time)
{
    v->tee = TraceTee{inner, v, vcd_seen};
    v->first = first;
    v->last = last;
    v->command_starts = std::move(command_starts);
    std::fputs("$comment\n  JTAG lines of an XSVF player run (xsvf play).\n"
               "  tap_state is derived from tck and tms by the TAP controller's state table, not read\n"
               "  from the player; UNKNOWN until five rising edges with tms high.\n"
               "  command is the number of the XSVF command being executed (0: before the first).\n",
               v->file);
    std::fprintf(v->file, "  Time: %s, from the first change dumped (commands %d to %d).\n$end\n",
                 host_time ? "the host's monotonic clock when the player made each access"
                           : "virtual, 200 ns per register write and sleeps by their length",
                 first, last);
    std::fputs("$timescale 1 ns $end\n$scope module jtag $end\n", v->file);
    for (const char* declaration : DECLARATIONS) {
        std::fprintf(v->file, "%s\n", declaration);
    }
    std::fputs("$upscope $end\n$enddefinitions $end\n", v->file);
}

SimTarget vcd_target(VcdWriter* v)
{
    return trace_tee_target(&v->tee);
}

void vcd_end(VcdWriter* v)
{
    if (v->dumping) {
        end_dump(v, sim_clock_now_ns());
    }
}

bool vcd_parse_range(const char* text, int* first, int* last)
{
    const std::string_view t = text;
    const std::size_t dash = t.find('-', 1);
    const std::string_view a = t.substr(0, dash);
    const std::string_view b = dash == std::string_view::npos ? a : t.substr(dash + 1);
    std::int32_t from = 0;
    std::int32_t to = 0;
    if (!sim_parse_int32(a.data(), a.size(), &from) || !sim_parse_int32(b.data(), b.size(), &to) || from < 0 ||
        to < from || to > 1000000000) {
        return false;
    }
    *first = from;
    *last = to;
    return true;
}

SimTarget trace_tee_target(TraceTee* tee)
{
    SimTarget t;
    t.context = tee;
    t.read = [](void* c, std::uint32_t offset) {
        auto* tt = static_cast<TraceTee*>(c);
        const std::uint32_t v = tt->inner.read ? tt->inner.read(tt->inner.context, offset) : 0xFFFFFFFFu;
        tt->seen(tt->watcher, {'R', offset, v});
        return v;
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* tt = static_cast<TraceTee*>(c);
        if (tt->inner.write) {
            tt->inner.write(tt->inner.context, offset, value);
        }
        tt->seen(tt->watcher, {'W', offset, value});
    };
    t.sleep = [](void* c, std::uint32_t ms) {
        auto* tt = static_cast<TraceTee*>(c);
        if (tt->inner.sleep) {
            tt->inner.sleep(tt->inner.context, ms);
        }
        tt->seen(tt->watcher, {'S', 0, ms});
    };
    return t;
}
