// Command handlers: each reads its operands from the stream into the player record, and the
// shift commands drive the shift engine. A failure is stored in info->error and returned.
#pragma once

#include <cstdint>

#include "xsvf/player.h"

// Opcodes.
constexpr std::uint8_t XCOMPLETE = 0;
constexpr std::uint8_t XTDOMASK = 1;
constexpr std::uint8_t XSIR = 2;
constexpr std::uint8_t XSDR = 3;
constexpr std::uint8_t XRUNTEST = 4;
constexpr std::uint8_t XREPEAT = 7;
constexpr std::uint8_t XSDRSIZE = 8;
constexpr std::uint8_t XSDRTDO = 9;
constexpr std::uint8_t XSETSDRMASKS = 10;
constexpr std::uint8_t XSDRINC = 11;
constexpr std::uint8_t XSDRB = 12;
constexpr std::uint8_t XSDRC = 13;
constexpr std::uint8_t XSDRE = 14;
constexpr std::uint8_t XSDRTDOB = 15;
constexpr std::uint8_t XSDRTDOC = 16;
constexpr std::uint8_t XSDRTDOE = 17;
constexpr std::uint8_t XSTATE = 18;
constexpr std::uint8_t XENDIR = 19;
constexpr std::uint8_t XENDDR = 20;

// Whether the stream still holds every operand byte of the command whose opcode was just
// read into info->command, by the layout of that command and the lengths in the record
// (the XSIR length and the XSDRINC repeat count are looked at in the stream, not read).
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
