// Command handlers: XCOMPLETE, the unsupported opcodes, and the opcodes 1 to 4 and 7 to 20.
#include "xsvf/commands.h"

#include <cstdio>

#include "images/image_source.h"
#include "xsvf/log.h"
#include "xsvf/shift.h"

namespace {

constexpr std::int16_t NUMBER_OPERAND_BYTES = 4;

// Stores a nonzero result as the run's error and hands it back.
std::int32_t report(SXsvfInfo* info, std::int32_t result)
{
    if (result != ErrNone) {
        info->error = result;
    }
    return result;
}

std::uint8_t read_byte()
{
    std::uint8_t byte = 0;
    image_next_byte(&byte);
    return byte;
}

// A 4-byte big-endian operand, read through tdi (every shift reloads tdi before using it).
std::int32_t read_number(SXsvfInfo* info)
{
    vb_read(&info->tdi, NUMBER_OPERAND_BYTES);
    return vb_value(&info->tdi);
}

// Where the shift of the command being executed ends, and the wait after it, as its row
// in XSVF_COMMANDS says.
TapState shift_end(const SXsvfInfo* info)
{
    return cmd_shift_end(cmd_row(info->command), info->end_ir_state, info->end_dr_state);
}

std::int32_t shift_wait(const SXsvfInfo* info)
{
    return cmd_row(info->command).waits ? info->run_test_us : 0;
}

// The compared data-register shift of XSDR and XSDRINC, on the vector already in tdi.
std::int32_t shift_compared(SXsvfInfo* info)
{
    return shift_checked(info->tap_state, TAP_SHIFTDR, info->shift_bits, &info->tdi, &info->tdo_captured,
                         &info->tdo_expected, &info->tdo_mask, shift_end(info), shift_wait(info), info->max_repeat);
}

// The state that the operand byte of XSTATE, XENDIR or XENDDR names; ErrIllegalState, stored
// as the run's error, when it names none.
std::int32_t named_state(SXsvfInfo* info, std::uint8_t operand, TapState* state)
{
    return cmd_state_named(cmd_row(info->command), operand, state) ? ErrNone : report(info, ErrIllegalState);
}

} // namespace

bool cmd_operands_present(const SXsvfInfo* info)
{
    const OperandShape shape = cmd_row(info->command).shape;
    const std::span<const std::uint8_t> rest = image_rest();
    const auto n = static_cast<std::uint32_t>(info->shift_bytes); // 0..MAX_LEN
    // A data block of XSDRINC holds one bit per 1 bit of the data mask.
    const auto block = shape == OperandShape::Increment
                           ? static_cast<std::uint32_t>(vb_bytes_for_bits(vb_count_ones(&info->data_mask)))
                           : 0u;
    return cmd_operand_bytes(shape, n, block, rest) <= rest.size();
}

std::int32_t cmd_complete(SXsvfInfo* info)
{
    info->complete = 1;
    return ErrNone;
}

std::int32_t cmd_unsupported(SXsvfInfo* info)
{
    if (player_log_on(0)) {
        std::printf("ERROR:  Encountered unsupported command #%d (%s)\n", static_cast<int>(info->command),
                    player_command_name(info->command));
    }
    info->error = ErrUnsupportedCommand;
    return ErrUnsupportedCommand;
}

std::int32_t cmd_tdo_mask(SXsvfInfo* info)
{
    vb_read(&info->tdo_mask, info->shift_bytes);
    if (player_log_on(4)) {
        vb_print_line("    TDO Mask     = ", &info->tdo_mask);
    }
    return ErrNone;
}

std::int32_t cmd_sir(SXsvfInfo* info)
{
    const std::uint8_t length = read_byte();
    if (player_log_on(3)) {
        std::printf("   XSIR length = %d\n", static_cast<int>(length));
    }
    vb_read(&info->tdi, static_cast<std::int16_t>(vb_bytes_for_bits(length)));
    return report(info, shift_checked(info->tap_state, TAP_SHIFTIR, length, &info->tdi, nullptr, nullptr, nullptr,
                                      shift_end(info), shift_wait(info), 0));
}

std::int32_t cmd_sdr(SXsvfInfo* info)
{
    vb_read(&info->tdi, info->shift_bytes);
    return report(info, shift_compared(info));
}

std::int32_t cmd_run_test(SXsvfInfo* info)
{
    // A value of 0x80000000 or more is negative here; the port takes a negative wait as none.
    info->run_test_us = read_number(info);
    if (player_log_on(3)) {
        std::printf("   XRUNTEST = %ld\n", static_cast<long>(info->run_test_us));
    }
    return ErrNone;
}

std::int32_t cmd_repeat(SXsvfInfo* info)
{
    info->max_repeat = read_byte();
    if (player_log_on(3)) {
        std::printf("   XREPEAT = %d\n", static_cast<int>(info->max_repeat));
    }
    return ErrNone;
}

std::int32_t cmd_sdr_size(SXsvfInfo* info)
{
    const std::int32_t bits = read_number(info);
    if (player_log_on(3)) {
        std::printf("   XSDRSIZE = %ld\n", static_cast<long>(bits));
    }
    // The operand is an unsigned 32-bit length. A rejected length is not adopted.
    if (!vb_fits_bits(static_cast<std::uint32_t>(bits))) {
        return report(info, ErrDataOverflow);
    }
    info->shift_bits = bits;
    info->shift_bytes = static_cast<std::int16_t>(vb_bytes_for_bits(bits));
    return ErrNone;
}

std::int32_t cmd_sdr_tdo(SXsvfInfo* info)
{
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi,
                                      &info->tdo_captured, &info->tdo_expected, &info->tdo_mask, shift_end(info),
                                      shift_wait(info), info->max_repeat));
}

std::int32_t cmd_set_sdr_masks(SXsvfInfo* info)
{
    vb_read(&info->address_mask, info->shift_bytes);
    vb_read(&info->data_mask, info->shift_bytes);
    if (player_log_on(4)) {
        vb_print_line("    Address Mask = ", &info->address_mask);
        vb_print_line("    Data Mask    = ", &info->data_mask);
    }
    return ErrNone;
}

std::int32_t cmd_sdr_inc(SXsvfInfo* info)
{
    vb_read(&info->tdi, info->shift_bytes);
    std::int32_t result = shift_compared(info);
    if (result != ErrNone) {
        return report(info, result);
    }
    // A data block holds one bit per 1 bit of the data mask; at most data_mask's own count.
    const auto block_bytes = static_cast<std::int16_t>(vb_bytes_for_bits(vb_count_ones(&info->data_mask)));
    const std::uint8_t repeats = read_byte();
    for (unsigned r = 0; r < repeats; ++r) {
        vb_read(&info->next_data, block_bytes);
        vb_insert_data(&info->tdi, &info->next_data, &info->address_mask, &info->data_mask);
        result = shift_compared(info);
        if (result != ErrNone) {
            return report(info, result);
        }
    }
    return ErrNone;
}

// XSDRB and XSDRC stay in Shift-DR, XSDRE ends in end_dr_state; none waits or retries.
std::int32_t cmd_sdr_bce(SXsvfInfo* info)
{
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi, nullptr,
                                      nullptr, nullptr, shift_end(info), shift_wait(info), 0));
}

// As XSDRB, XSDRC and XSDRE, comparing every bit of the captured TDO.
std::int32_t cmd_sdr_tdo_bce(SXsvfInfo* info)
{
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi,
                                      &info->tdo_captured, &info->tdo_expected, nullptr, shift_end(info),
                                      shift_wait(info), 0));
}

// A byte that names none of the six states is refused before anything is clocked: moved to
// as a code, it would leave the recorded state and the TAP's own apart.
std::int32_t cmd_state(SXsvfInfo* info)
{
    TapState target = TAP_RESET;
    if (named_state(info, read_byte(), &target) != ErrNone) {
        return info->error;
    }
    return report(info, tap_goto(info->tap_state, target));
}

// An operand other than 0 or 1 names no state and is never stored in the record.
std::int32_t cmd_end_state(SXsvfInfo* info)
{
    TapState state = TAP_RESET;
    if (named_state(info, read_byte(), &state) != ErrNone) {
        return info->error;
    }
    if (player_log_on(3)) {
        std::printf("   End State = %s\n", state == TAP_RUNTEST ? "RUNTEST" : "PAUSE");
    }
    if (info->command == XENDIR) {
        info->end_ir_state = state;
    } else {
        info->end_dr_state = state;
    }
    return ErrNone;
}
