// Command handlers: each reads its operands from the stream into the player record, and the
// shift commands drive the shift engine. A failure is stored in info->error and returned.
#pragma once

#include <cstdint>

#include "xsvf/command_set.h"
#include "xsvf/player.h"

// Whether the stream still holds every operand byte of the command whose opcode was just
// read into info->command, by that command's layout (XSVF_COMMANDS) and the lengths in the
// record (the XSIR length and the XSDRINC repeat count are looked at in the stream, not read).
bool cmd_operands_present(const SXsvfInfo* info);

std::int32_t cmd_complete(SXsvfInfo* info);
std::int32_t cmd_unsupported(SXsvfInfo* info);
std::int32_t cmd_tdo_mask(SXsvfInfo* info);
std::int32_t cmd_sir(SXsvfInfo* info);
std::int32_t cmd_sdr(SXsvfInfo* info);
std::int32_t cmd_run_test(SXsvfInfo* info);
std::int32_t cmd_repeat(SXsvfInfo* info);
std::int32_t cmd_sdr_size(SXsvfInfo* info);
std::int32_t cmd_sdr_tdo(SXsvfInfo* info);
std::int32_t cmd_set_sdr_masks(SXsvfInfo* info);
std::int32_t cmd_sdr_inc(SXsvfInfo* info);
std::int32_t cmd_sdr_bce(SXsvfInfo* info);
std::int32_t cmd_sdr_tdo_bce(SXsvfInfo* info);
std::int32_t cmd_state(SXsvfInfo* info);
std::int32_t cmd_end_state(SXsvfInfo* info);
