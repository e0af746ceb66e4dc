// Command handlers for the opcodes 1 to 4 and 7 to 20.
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

// The compared data-register shift of XSDR and XSDRINC, on the vector already in tdi.
std::int32_t shift_compared(SXsvfInfo* info)
{
    return shift_checked(info->tap_state, TAP_SHIFTDR, info->shift_bits, &info->tdi, &info->tdo_captured,
                         &info->tdo_expected, &info->tdo_mask, info->end_dr_state, info->run_test_us,
                         info->max_repeat);
}

} // namespace

bool cmd_operands_present(const SXsvfInfo* info)
{
    const std::uint32_t left = image_bytes_left();
    const auto n = static_cast<std::uint32_t>(info->shift_bytes); // 0..MAX_LEN
    std::uint32_t need = 0;
    switch (info->command) {
    case XTDOMASK:
    case XSDR:
    case XSDRB:
    case XSDRC:
    case XSDRE:
        need = n;
        break;
    case XSDRTDO:
    case XSETSDRMASKS:
    case XSDRTDOB:
    case XSDRTDOC:
    case XSDRTDOE:
        need = 2 * n;
        break;
    case XRUNTEST:
    case XSDRSIZE:
        need = static_cast<std::uint32_t>(NUMBER_OPERAND_BYTES);
        break;
    case XREPEAT:
    case XSTATE:
    case XENDIR:
    case XENDDR:
        need = 1;
        break;
    case XSIR: // the length byte, then the instruction
        need = 1 + (left < 1 ? 0u : static_cast<std::uint32_t>(vb_bytes_for_bits(image_peek_byte(0))));
        break;
    case XSDRINC: { // TDI, the repeat count, then one data block per repeat
        const auto block = static_cast<std::uint32_t>(vb_bytes_for_bits(vb_count_ones(&info->data_mask)));
        need = n + 1 + (left < n + 1 ? 0u : static_cast<std::uint32_t>(image_peek_byte(n)) * block);
        break;
    }
    default: // XCOMPLETE and the unsupported opcodes read nothing
        break;
    }
    return need <= left;
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
                                      info->end_ir_state, info->run_test_us, 0));
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
    // The operand is an unsigned 32-bit length; its byte count is taken in 64 bits so that
    // no length wraps around into an accepted one. A rejected length is not adopted.
    const std::uint64_t bytes = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(bits)) + 7) / 8;
    if (bytes > static_cast<std::uint64_t>(MAX_LEN)) {
        return report(info, ErrDataOverflow);
    }
    info->shift_bits = bits;
    info->shift_bytes = static_cast<std::int16_t>(bytes);
    return ErrNone;
}

std::int32_t cmd_sdr_tdo(SXsvfInfo* info)
{
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi,
                                      &info->tdo_captured, &info->tdo_expected, &info->tdo_mask,
                                      info->end_dr_state, info->run_test_us, info->max_repeat));
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

std::int32_t cmd_sdr_bce(SXsvfInfo* info)
{
    const TapState end = info->command == XSDRE ? info->end_dr_state : TAP_SHIFTDR;
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi, nullptr,
                                      nullptr, nullptr, end, 0, 0));
}

std::int32_t cmd_sdr_tdo_bce(SXsvfInfo* info)
{
    const TapState end = info->command == XSDRTDOE ? info->end_dr_state : TAP_SHIFTDR;
    return report(info, shift_sdr_tdo(info->tap_state, info->shift_bits, info->shift_bytes, &info->tdi,
                                      &info->tdo_captured, &info->tdo_expected, nullptr, end, 0, 0));
}

std::int32_t cmd_state(SXsvfInfo* info)
{
    const TapState target = read_byte();
    return report(info, tap_goto(info->tap_state, target));
}

std::int32_t cmd_end_state(SXsvfInfo* info)
{
    const bool ir = info->command == XENDIR;
    const std::uint8_t operand = read_byte();
    // An operand other than 0 or 1 names no state and is never stored in the record.
    if (operand > 1) {
        return report(info, ErrIllegalState);
    }
    if (player_log_on(3)) {
        std::printf("   End State = %s\n", operand == 0 ? "RUNTEST" : "PAUSE");
    }
    const TapState pause = ir ? TAP_PAUSEIR : TAP_PAUSEDR;
    const TapState state = operand == 0 ? TAP_RUNTEST : pause;
    if (ir) {
        info->end_ir_state = state;
    } else {
        info->end_dr_state = state;
    }
    return ErrNone;
}
