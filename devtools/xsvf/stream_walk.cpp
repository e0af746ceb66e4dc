#include "devtools/xsvf/stream_walk.h"

#include <bit>
#include <cstdio>

#include "xsvf/commands.h"
#include "xsvf/tap.h"

namespace {

std::string hex(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(v));
    return text;
}

// What the player keeps between commands that decides where and how a stream stops.
struct Walker {
    std::span<const std::uint8_t> stream;
    std::uint32_t pos = 0;
    std::uint32_t shift_bits = 0;
    std::uint32_t shift_bytes = 0;
    std::uint32_t data_mask_ones = 0;
    TapState tap_state = TAP_RESET;
    TapState end_ir_state = TAP_RUNTEST;
    TapState end_dr_state = TAP_RUNTEST;
    bool wait = false; // a nonzero run-test value
    WalkResult result;

    bool fail(const WalkedCommand& c, std::int32_t code, std::uint32_t played, std::string message)
    {
        result.result = code;
        result.ok = false;
        result.bytes_played = played;
        result.error_offset = c.offset;
        result.error_command = c.number;
        result.error = std::move(message);
        return false;
    }

    // The player checks a command's operands before it acts on any, and then has read only
    // the opcode.
    bool need(const WalkedCommand& c, std::uint32_t bytes, const char* what)
    {
        if (stream.size() - pos < bytes) {
            return fail(c, ErrStreamEnded, c.offset + 1,
                        std::string("stream ends inside ") + player_command_name(c.opcode) + " (" + what + " needs " +
                            std::to_string(bytes) + " bytes, " + std::to_string(stream.size() - pos) + " left)");
        }
        return true;
    }

    bool byte(WalkedCommand& c, const char* what, std::uint32_t* value)
    {
        if (!need(c, 1, what)) {
            return false;
        }
        *value = stream[pos++];
        return true;
    }

    bool word(WalkedCommand& c, const char* what, std::uint32_t* value)
    {
        if (!need(c, 4, what)) {
            return false;
        }
        *value = static_cast<std::uint32_t>(stream[pos]) << 24 | static_cast<std::uint32_t>(stream[pos + 1]) << 16 |
                 static_cast<std::uint32_t>(stream[pos + 2]) << 8 | stream[pos + 3];
        pos += 4;
        return true;
    }

    bool vector(WalkedCommand& c, std::uint32_t length, const char* what)
    {
        if (!need(c, length, what)) {
            return false;
        }
        c.vectors.push_back({pos, length});
        pos += length;
        return true;
    }

    // Where a shift leaves the TAP, as the shift engine moves it: a shift of no bits only
    // waits; one that ends in its own shift state stays there and does not wait; any other
    // goes to its end state and then, for a wait, to Run-Test/Idle.
    void shift(TapState start, std::uint32_t bits, TapState end, bool waits)
    {
        if (bits == 0) {
            tap_state = waits ? TAP_RUNTEST : tap_state;
        } else if (end == start) {
            tap_state = start;
        } else {
            tap_state = waits ? TAP_RUNTEST : end;
        }
    }

    bool operands(WalkedCommand& c)
    {
        switch (c.opcode) {
        case XCOMPLETE:
            return true;
        case XTDOMASK:
            return vector(c, shift_bytes, "mask");
        case XSDR:
            if (!vector(c, shift_bytes, "TDI")) {
                return false;
            }
            shift(TAP_SHIFTDR, shift_bits, end_dr_state, wait);
            return true;
        case XSDRB:
        case XSDRC:
        case XSDRE:
            if (!vector(c, shift_bytes, "TDI")) {
                return false;
            }
            shift(TAP_SHIFTDR, shift_bits, c.opcode == XSDRE ? end_dr_state : TAP_SHIFTDR, false);
            return true;
        case XSDRTDO:
        case XSDRTDOB:
        case XSDRTDOC:
        case XSDRTDOE:
            if (!need(c, 2 * shift_bytes, "TDI and expected TDO")) {
                return false;
            }
            vector(c, shift_bytes, "TDI");
            vector(c, shift_bytes, "expected TDO");
            if (c.opcode == XSDRTDO) {
                shift(TAP_SHIFTDR, shift_bits, end_dr_state, wait);
            } else {
                shift(TAP_SHIFTDR, shift_bits, c.opcode == XSDRTDOE ? end_dr_state : TAP_SHIFTDR, false);
            }
            return true;
        case XSETSDRMASKS:
            if (!need(c, 2 * shift_bytes, "address and data masks")) {
                return false;
            }
            vector(c, shift_bytes, "address mask");
            vector(c, shift_bytes, "data mask");
            data_mask_ones = 0;
            for (std::uint32_t i = 0; i < shift_bytes; ++i) {
                data_mask_ones += static_cast<std::uint32_t>(std::popcount(stream[c.vectors[1].offset + i]));
            }
            return true;
        case XSIR:
            c.has_value = true;
            if (!need(c, 1, "length")) {
                return false;
            }
            if (!need(c, 1 + (stream[pos] + 7u) / 8u, "length and instruction")) {
                return false;
            }
            byte(c, "length", &c.value);
            vector(c, (c.value + 7) / 8, "instruction");
            shift(TAP_SHIFTIR, c.value, end_ir_state, wait);
            return true;
        case XRUNTEST:
            c.has_value = true;
            if (!word(c, "wait", &c.value)) {
                return false;
            }
            wait = c.value != 0;
            return true;
        case XSDRSIZE:
            c.has_value = true;
            if (!word(c, "length", &c.value)) {
                return false;
            }
            // Computed wide: lengths near 2^32 must not wrap to a small byte count.
            if ((static_cast<std::uint64_t>(c.value) + 7) / 8 > static_cast<std::uint64_t>(MAX_LEN)) {
                return fail(c, ErrDataOverflow, pos,
                            "XSDRSIZE of " + std::to_string(c.value) + " bits exceeds " +
                                std::to_string(MAX_LEN * 8) + " bits");
            }
            shift_bits = c.value;
            shift_bytes = (c.value + 7) / 8;
            return true;
        case XREPEAT:
            c.has_value = true;
            return byte(c, "retry limit", &c.value);
        case XSTATE: {
            c.has_value = true;
            if (!byte(c, "state", &c.value)) {
                return false;
            }
            const auto target = static_cast<TapState>(c.value);
            if (!tap_can_reach(tap_state, target)) {
                return fail(c, ErrIllegalState, pos,
                            "XSTATE " + hex(target) + ": a pause state that the TAP cannot reach from " +
                                hex(tap_state));
            }
            tap_state = target;
            return true;
        }
        case XENDIR:
        case XENDDR:
            c.has_value = true;
            if (!byte(c, "end state", &c.value)) {
                return false;
            }
            if (c.value > 1) {
                return fail(c, ErrIllegalState, pos,
                            std::string(player_command_name(c.opcode)) + " operand " + std::to_string(c.value) +
                                " is neither 0 nor 1");
            }
            if (c.opcode == XENDIR) {
                end_ir_state = c.value == 0 ? TAP_RUNTEST : TAP_PAUSEIR;
            } else {
                end_dr_state = c.value == 0 ? TAP_RUNTEST : TAP_PAUSEDR;
            }
            return true;
        case XSDRINC: {
            // TDI, the repeat count, then one block per repeat with a bit for each 1 bit of
            // the data mask as XSETSDRMASKS loaded it (whatever the length is now).
            const std::uint32_t block = (data_mask_ones + 7) / 8;
            if (!need(c, shift_bytes + 1, "TDI and repeat count")) {
                return false;
            }
            if (!need(c, shift_bytes + 1 + stream[pos + shift_bytes] * block, "TDI, repeat count and data blocks")) {
                return false;
            }
            vector(c, shift_bytes, "TDI");
            byte(c, "repeat count", &c.repeat_count);
            for (std::uint32_t r = 0; r < c.repeat_count; ++r) {
                vector(c, block, "data block");
            }
            shift(TAP_SHIFTDR, shift_bits, end_dr_state, wait);
            return true;
        }
        default:
            return fail(c, ErrUnsupportedCommand, pos,
                        "unsupported command " + std::to_string(c.opcode) + " (" + player_command_name(c.opcode) + ")");
        }
    }
};

} // namespace

WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit)
{
    Walker w;
    w.stream = stream;
    while (true) {
        WalkedCommand c;
        c.offset = w.pos;
        c.number = w.result.commands + 1;
        if (w.pos >= stream.size()) {
            w.fail(c, ErrStreamEnded, w.pos, "stream ends without XCOMPLETE");
            return w.result;
        }
        c.opcode = stream[w.pos++];
        if (!w.operands(c)) {
            return w.result;
        }
        c.size = w.pos - c.offset;
        c.shift_bits = w.shift_bits;
        ++w.result.commands;
        visit(c);
        if (c.opcode == XCOMPLETE) {
            w.result.result = ErrNone;
            w.result.ok = true;
            w.result.bytes_played = w.pos;
            w.result.trailing = static_cast<std::uint32_t>(stream.size()) - w.pos;
            return w.result;
        }
    }
}

WalkedStream xsvf_walk_all(std::span<const std::uint8_t> stream)
{
    WalkedStream w;
    w.result = xsvf_walk(stream, [&](const WalkedCommand& c) { w.commands.push_back(c); });
    return w;
}

std::vector<std::uint8_t> xsvf_vector_bytes(std::span<const std::uint8_t> stream, const WalkedVector& v)
{
    const auto from = stream.begin() + static_cast<std::ptrdiff_t>(v.offset);
    return {from, from + static_cast<std::ptrdiff_t>(v.length)};
}
