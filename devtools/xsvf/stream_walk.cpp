#include "devtools/xsvf/stream_walk.h"

#include <bit>
#include <cstdio>

#include "xsvf/command_set.h"
#include "xsvf/shift.h"
#include "xsvf/tap.h"

namespace {

std::string hex(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(v));
    return text;
}

// What the player keeps between commands that decides where and how a stream stops. The
// operands' layout and the states a byte may name come from the command set (XSVF_COMMANDS),
// where the TAP goes from the shift engine (shift_leaves, tap_can_reach).
struct Walker {
    std::span<const std::uint8_t> stream;
    std::uint32_t pos = 0;
    std::uint32_t shift_bits = 0;
    std::uint32_t shift_bytes = 0;
    std::uint32_t data_mask_ones = 0;
    TapState tap_state = TAP_RESET;
    TapState end_ir_state = TAP_RUNTEST;
    TapState end_dr_state = TAP_RUNTEST;
    std::int32_t run_test_us = 0;
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

    std::uint32_t take_byte() { return stream[pos++]; }

    void take_vector(WalkedCommand& c, std::uint32_t length)
    {
        c.vectors.push_back({pos, length});
        pos += length;
    }

    // The operands, as the command's layout has them; the player checks that the stream
    // holds them all before it acts on any, and then has read only the opcode.
    bool take_operands(WalkedCommand& c, const SXsvfCommand& row)
    {
        const std::span<const std::uint8_t> rest = stream.subspan(pos);
        const std::uint32_t block = (data_mask_ones + 7) / 8;
        const std::uint32_t need = cmd_operand_bytes(row.shape, shift_bytes, block, rest);
        if (rest.size() < need) {
            return fail(c, ErrStreamEnded, c.offset + 1,
                        std::string("stream ends inside ") + row.name + " (" + row.operands + " needs " +
                            std::to_string(need) + " bytes, " + std::to_string(rest.size()) + " left)");
        }
        switch (row.shape) {
        case OperandShape::Nothing:
            break;
        case OperandShape::Vector:
            take_vector(c, shift_bytes);
            break;
        case OperandShape::TwoVectors:
            take_vector(c, shift_bytes);
            take_vector(c, shift_bytes);
            break;
        case OperandShape::Number:
            for (int i = 0; i < 4; ++i) {
                c.value = c.value << 8 | take_byte();
            }
            break;
        case OperandShape::Byte:
            c.value = take_byte();
            break;
        case OperandShape::Instruction:
            c.value = take_byte();
            take_vector(c, (c.value + 7) / 8);
            break;
        case OperandShape::Increment:
            take_vector(c, shift_bytes);
            c.repeat_count = take_byte();
            for (std::uint32_t r = 0; r < c.repeat_count; ++r) {
                take_vector(c, block);
            }
            break;
        }
        c.has_value = row.value != nullptr;
        return true;
    }

    // What the command does to the player's record and the TAP, where it can fail.
    bool act(const WalkedCommand& c, const SXsvfCommand& row)
    {
        TapState named = TAP_RESET;
        if (!row.states.empty() && !cmd_state_named(row, static_cast<std::uint8_t>(c.value), &named)) {
            return fail(c, ErrIllegalState, pos,
                        std::string(row.name) + " operand " + hex(c.value) + " names no state");
        }
        switch (c.opcode) {
        case XSTATE:
            if (!tap_can_reach(tap_state, named)) {
                return fail(c, ErrIllegalState, pos,
                            "XSTATE " + hex(named) + ": a pause state that the TAP cannot reach from " +
                                hex(tap_state));
            }
            tap_state = named;
            break;
        case XENDIR:
            end_ir_state = named;
            break;
        case XENDDR:
            end_dr_state = named;
            break;
        case XRUNTEST:
            run_test_us = static_cast<std::int32_t>(c.value);
            break;
        case XSDRSIZE:
            if (!vb_fits_bits(c.value)) {
                return fail(c, ErrDataOverflow, pos,
                            "XSDRSIZE of " + std::to_string(c.value) + " bits exceeds " +
                                std::to_string(MAX_LEN * 8) + " bits");
            }
            shift_bits = c.value;
            shift_bytes = (c.value + 7) / 8;
            break;
        case XSETSDRMASKS:
            data_mask_ones = 0;
            for (std::uint32_t i = 0; i < c.vectors[1].length; ++i) {
                data_mask_ones += static_cast<std::uint32_t>(std::popcount(stream[c.vectors[1].offset + i]));
            }
            break;
        default:
            break;
        }
        if (row.shifts != ShiftRegister::NoShift) {
            const auto bits = static_cast<std::int32_t>(c.opcode == XSIR ? c.value : shift_bits);
            tap_state = shift_leaves(tap_state, cmd_shift_start(row), bits,
                                     cmd_shift_end(row, end_ir_state, end_dr_state), row.waits ? run_test_us : 0);
        }
        return true;
    }

    bool operands(WalkedCommand& c)
    {
        const SXsvfCommand& row = cmd_row(c.opcode);
        if (!row.supported) {
            return fail(c, ErrUnsupportedCommand, pos,
                        "unsupported command " + std::to_string(c.opcode) + " (" + row.name + ")");
        }
        return take_operands(c, row) && act(c, row);
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
