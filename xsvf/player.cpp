// Player core: the run loop, the command table, the result codes and the log level.
#include "xsvf/player.h"

#include <cstdio>

#include "images/image_source.h"
#include "xsvf/commands.h"
#include "xsvf/log.h"
#include "xsvf/shift.h"

std::int32_t LogLevel = 0;
std::int32_t LastCommandNumber = 0;

const std::array<CommandHandler, XSVF_COMMAND_COUNT> command_handlers = {
    cmd_complete,      // 0  XCOMPLETE
    cmd_tdo_mask,      // 1  XTDOMASK
    cmd_sir,           // 2  XSIR
    cmd_sdr,           // 3  XSDR
    cmd_run_test,      // 4  XRUNTEST
    cmd_unsupported,   // 5
    cmd_unsupported,   // 6
    cmd_repeat,        // 7  XREPEAT
    cmd_sdr_size,      // 8  XSDRSIZE
    cmd_sdr_tdo,       // 9  XSDRTDO
    cmd_set_sdr_masks, // 10 XSETSDRMASKS
    cmd_sdr_inc,       // 11 XSDRINC
    cmd_sdr_bce,       // 12 XSDRB
    cmd_sdr_bce,       // 13 XSDRC
    cmd_sdr_bce,       // 14 XSDRE
    cmd_sdr_tdo_bce,   // 15 XSDRTDOB
    cmd_sdr_tdo_bce,   // 16 XSDRTDOC
    cmd_sdr_tdo_bce,   // 17 XSDRTDOE
    cmd_state,         // 18 XSTATE
    cmd_end_state,     // 19 XENDIR
    cmd_end_state,     // 20 XENDDR
};

const std::array<const char*, XSVF_ERROR_COUNT> error_texts = {
    "No error",
    "Unknown",
    "TDO mismatch",
    "TDO mismatch and exceeded max retries",
    "Unsupported XSVF command",
    "Illegal state specification",
    "Data overflows allocated MAX_LEN buffer size",
    "XSVF stream ended before XCOMPLETE",
};

const char* player_command_name(std::uint8_t opcode)
{
    return cmd_row(opcode).name;
}

const char* player_error_text(std::int32_t error)
{
    if (error < 0 || error >= XSVF_ERROR_COUNT) {
        return error_texts[ErrUnknown];
    }
    return error_texts[static_cast<std::size_t>(error)];
}

std::int32_t player_init(SXsvfInfo* info)
{
    if (player_log_on(4)) {
        std::printf("    sizeof( SXsvfInfo ) = %d bytes\n", static_cast<int>(sizeof(SXsvfInfo)));
    }
    info->complete = 0;
    info->command = 0;
    info->command_count = 0;
    info->error = ErrNone;
    info->tap_state = TAP_RESET;
    info->end_ir_state = TAP_RUNTEST;
    info->end_dr_state = TAP_RUNTEST;
    info->max_repeat = 0;
    info->run_test_us = 0;
    info->shift_bits = 0;
    info->shift_bytes = 0;
    MatchedCompares = 0;
    // Every run starts with seven empty vectors: a stream that compares before loading a
    // mask or an expected value meets defined buffers, never the previous run's bytes.
    for (VectorBuffer* v : {&info->tdi, &info->tdo_expected, &info->tdo_captured, &info->tdo_mask,
                            &info->address_mask, &info->data_mask, &info->next_data}) {
        v->count = 0;
    }
    info->error = tap_goto(info->tap_state, TAP_RESET);
    return info->error;
}

std::int32_t player_step(SXsvfInfo* info)
{
    if (info->error != ErrNone || info->complete != 0) {
        return info->error;
    }
    // The stream ends where a command should begin: the missing command is the failing one,
    // and no opcode is invented for it.
    ++info->command_count;
    if (image_bytes_left() == 0) {
        if (player_log_on(0)) {
            std::printf("ERROR:  XSVF stream ends before command #%ld, without XCOMPLETE\n",
                        static_cast<long>(info->command_count));
        }
        info->error = ErrStreamEnded;
        return info->error;
    }
    image_next_byte(&info->command);
    if (info->command >= XSVF_COMMAND_COUNT) {
        cmd_unsupported(info);
        return info->error;
    }
    if (player_log_on(2)) {
        std::printf("  %s\n", player_command_name(info->command));
    }
    // A command that would run out of stream is not started: it never clocks the TAP or
    // changes the record on operands that the stream does not hold.
    if (!cmd_operands_present(info)) {
        if (player_log_on(0)) {
            std::printf("ERROR:  XSVF stream ends inside command #%ld (%s)\n", static_cast<long>(info->command_count),
                        player_command_name(info->command));
        }
        info->error = ErrStreamEnded;
        return info->error;
    }
    command_handlers[info->command](info);
    return info->error;
}

void player_cleanup(SXsvfInfo* /*info*/)
{
}

std::int32_t player_execute()
{
    SXsvfInfo info;
    player_init(&info);
    while (info.error == ErrNone && info.complete == 0) {
        player_step(&info);
    }
    if (info.error != ErrNone) {
        if (player_log_on(0)) {
            std::printf("ERROR:  %s\n", player_error_text(info.error));
        }
        if (player_log_on(0)) {
            std::printf("ERROR at XSVF command #%ld\n", static_cast<long>(info.command_count));
        }
    }
    player_cleanup(&info);
    LastCommandNumber = info.command_count;
    return info.error;
}
