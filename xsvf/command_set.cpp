// The XSVF command set: one row per opcode.
#include "xsvf/command_set.h"

namespace {

using enum OperandShape;
using enum ShiftRegister;
using enum ShiftEnd;

constexpr SStateByte XSTATE_STATES[] = {
    {0x00, TAP_RESET},   {0x01, TAP_RUNTEST}, {0x12, TAP_PAUSEDR},
    {0x14, TAP_SHIFTDR}, {0x22, TAP_PAUSEIR}, {0x24, TAP_SHIFTIR},
};
constexpr SStateByte XENDIR_STATES[] = {{0, TAP_RUNTEST}, {1, TAP_PAUSEIR}};
constexpr SStateByte XENDDR_STATES[] = {{0, TAP_RUNTEST}, {1, TAP_PAUSEDR}};
constexpr std::span<const SStateByte> ANY_BYTE{};

} // namespace

// clang-format off
constexpr std::array<SXsvfCommand, XSVF_COMMAND_COUNT> XSVF_COMMANDS = {{
//   opcode        name            supported shape        operands                             value                            states         shifts    end          waits  compares
    {XCOMPLETE,    "XCOMPLETE",    true,  Nothing,     "nothing",                           nullptr,                         ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XTDOMASK,     "XTDOMASK",     true,  Vector,      "mask",                              nullptr,                         ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XSIR,         "XSIR",         true,  Instruction, "length and instruction",            "instruction length in bits",    ANY_BYTE,      ShiftsIr, EndState,    true,  false},
    {XSDR,         "XSDR",         true,  Vector,      "TDI",                               nullptr,                         ANY_BYTE,      ShiftsDr, EndState,    true,  true},
    {XRUNTEST,     "XRUNTEST",     true,  Number,      "wait",                              "run-test time in microseconds", ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {5,            "Reserved5",    false, Nothing,     "nothing",                           nullptr,                         ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {6,            "Reserved6",    false, Nothing,     "nothing",                           nullptr,                         ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XREPEAT,      "XREPEAT",      true,  Byte,        "retry limit",                       "retry limit",                   ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XSDRSIZE,     "XSDRSIZE",     true,  Number,      "length",                            "data-register length in bits",  ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XSDRTDO,      "XSDRTDO",      true,  TwoVectors,  "TDI and expected TDO",              nullptr,                         ANY_BYTE,      ShiftsDr, EndState,    true,  true},
    {XSETSDRMASKS, "XSETSDRMASKS", true,  TwoVectors,  "address and data masks",            nullptr,                         ANY_BYTE,      NoShift,  NoEnd,       false, false},
    {XSDRINC,      "XSDRINC",      true,  Increment,   "TDI, repeat count and data blocks", nullptr,                         ANY_BYTE,      ShiftsDr, EndState,    true,  true},
    {XSDRB,        "XSDRB",        true,  Vector,      "TDI",                               nullptr,                         ANY_BYTE,      ShiftsDr, StayInShift, false, false},
    {XSDRC,        "XSDRC",        true,  Vector,      "TDI",                               nullptr,                         ANY_BYTE,      ShiftsDr, StayInShift, false, false},
    {XSDRE,        "XSDRE",        true,  Vector,      "TDI",                               nullptr,                         ANY_BYTE,      ShiftsDr, EndState,    false, false},
    {XSDRTDOB,     "XSDRTDOB",     true,  TwoVectors,  "TDI and expected TDO",              nullptr,                         ANY_BYTE,      ShiftsDr, StayInShift, false, true},
    {XSDRTDOC,     "XSDRTDOC",     true,  TwoVectors,  "TDI and expected TDO",              nullptr,                         ANY_BYTE,      ShiftsDr, StayInShift, false, true},
    {XSDRTDOE,     "XSDRTDOE",     true,  TwoVectors,  "TDI and expected TDO",              nullptr,                         ANY_BYTE,      ShiftsDr, EndState,    false, true},
    {XSTATE,       "XSTATE",       true,  Byte,        "state",                             "state",                         XSTATE_STATES, NoShift,  NoEnd,       false, false},
    {XENDIR,       "XENDIR",       true,  Byte,        "end state",                         "end state",                     XENDIR_STATES, NoShift,  NoEnd,       false, false},
    {XENDDR,       "XENDDR",       true,  Byte,        "end state",                         "end state",                     XENDDR_STATES, NoShift,  NoEnd,       false, false},
}};
// clang-format on

namespace {

constexpr bool rows_in_opcode_order()
{
    for (std::size_t i = 0; i < XSVF_COMMANDS.size(); ++i) {
        if (XSVF_COMMANDS[i].opcode != i) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_opcode_order(), "the row of each opcode sits at its index");

} // namespace

const SXsvfCommand XSVF_UNKNOWN_COMMAND = {0, "Unknown", false, Nothing, "nothing", nullptr, ANY_BYTE, NoShift, NoEnd,
                                           false, false};

bool cmd_state_named(const SXsvfCommand& c, std::uint8_t byte, TapState* state)
{
    for (const SStateByte& s : c.states) {
        if (s.byte == byte) {
            *state = s.state;
            return true;
        }
    }
    return false;
}

TapState cmd_shift_start(const SXsvfCommand& c)
{
    return c.shifts == ShiftsIr ? TAP_SHIFTIR : TAP_SHIFTDR;
}

TapState cmd_shift_end(const SXsvfCommand& c, TapState end_ir, TapState end_dr)
{
    if (c.end == StayInShift) {
        return cmd_shift_start(c);
    }
    return c.shifts == ShiftsIr ? end_ir : end_dr;
}

std::uint32_t cmd_operand_bytes(OperandShape shape, std::uint32_t n, std::uint32_t block,
                                std::span<const std::uint8_t> rest)
{
    switch (shape) {
    case Nothing: return 0;
    case Vector: return n;
    case TwoVectors: return 2 * n;
    case Number: return 4;
    case Byte: return 1;
    case Instruction: return rest.empty() ? 1 : 1 + (static_cast<std::uint32_t>(rest[0]) + 7) / 8;
    case Increment: return rest.size() <= n ? n + 1 : n + 1 + static_cast<std::uint32_t>(rest[n]) * block;
    }
    return 0;
}
