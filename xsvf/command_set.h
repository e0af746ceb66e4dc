// The XSVF command set, one row per opcode: its name, the layout of its operands in the
// stream, the operand bytes it accepts as states, and what its shift does. The player's
// operand check and the shift handlers read it, and so do the developer tool's walker and the
// fuzz verdict; the handlers themselves read their operands one by one, as the layout says.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "xsvf/tap.h"

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

constexpr int XSVF_COMMAND_COUNT = 21; // opcodes 0..20; higher ones are unsupported

// The operands after the opcode byte; n is the data-register length in bytes (XSDRSIZE).
enum class OperandShape : std::uint8_t {
    Nothing,     // XCOMPLETE, and the unsupported opcodes, which read nothing
    Vector,      // n bytes
    TwoVectors,  // n bytes, then n bytes
    Number,      // 4 bytes, big-endian
    Byte,        // 1 byte
    Instruction, // a length byte L, then (L + 7) / 8 bytes
    Increment,   // n bytes, a repeat count k, then k data blocks of a bit per 1 bit of the data mask
};

// The register a command shifts, and where its shift ends.
enum class ShiftRegister : std::uint8_t { NoShift, ShiftsIr, ShiftsDr };
enum class ShiftEnd : std::uint8_t {
    NoEnd,
    EndState,    // the end state set for the register (XENDIR, XENDDR), then the wait if it has one
    StayInShift, // the register's shift state: the scan goes on in the next command
};

// An operand byte that a command accepts, and the TAP state it names.
struct SStateByte {
    std::uint8_t byte;
    TapState state;
};

struct SXsvfCommand {
    std::uint8_t opcode;
    const char* name;
    bool supported;
    OperandShape shape;
    const char* operands;               // what the operands are, for people
    const char* value;                  // what a number, byte or instruction length means; null: no value
    std::span<const SStateByte> states; // for a state operand, the only bytes accepted; empty: any byte
    ShiftRegister shifts;
    ShiftEnd end;
    bool waits;    // the run-test wait follows the shift
    bool compares; // captured TDO is compared with the expected value: a mismatch fails the command
};

// One row per opcode 0..20, at its index.
extern const std::array<SXsvfCommand, XSVF_COMMAND_COUNT> XSVF_COMMANDS;
// What an opcode of 21 or more is: no command, named "Unknown", and nothing read after it.
extern const SXsvfCommand XSVF_UNKNOWN_COMMAND;

// The row of an opcode; XSVF_UNKNOWN_COMMAND above 20.
inline const SXsvfCommand& cmd_row(std::uint8_t opcode)
{
    return opcode < XSVF_COMMAND_COUNT ? XSVF_COMMANDS[opcode] : XSVF_UNKNOWN_COMMAND;
}

// The state that an operand byte names for a command whose row lists states: true and the
// state, or false when the byte names none.
bool cmd_state_named(const SXsvfCommand& c, std::uint8_t byte, TapState* state);

// Where the command's shift starts: the shift state of its register.
TapState cmd_shift_start(const SXsvfCommand& c);

// Where the command's shift ends, given the end states set by XENDIR and XENDDR.
TapState cmd_shift_end(const SXsvfCommand& c, TapState end_ir, TapState end_dr);

// Bytes of operands after the opcode of a command of this shape. n: the data-register length
// in bytes; block: the bytes of one XSDRINC data block; rest: the stream after the opcode, in
// which the XSIR length and the XSDRINC repeat count are looked at, not read. When rest ends
// before that byte, the count runs up to and including it, so it still exceeds what rest holds.
std::uint32_t cmd_operand_bytes(OperandShape shape, std::uint32_t n, std::uint32_t block,
                                std::span<const std::uint8_t> rest);
