// A minimal walker over an XSVF program for the tests: splits it into commands with the
// operand rules of the player, without executing anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WalkedCommand {
    std::uint8_t opcode;
    std::uint32_t offset;           // of the opcode byte
    std::uint32_t size;             // bytes, opcode included
    std::uint32_t value;            // XRUNTEST, XSDRSIZE: the number; XREPEAT, XSTATE: the byte
    std::uint32_t bits;             // XSDRTDO, XTDOMASK: data-register length in force
    std::uint8_t sir_length;        // XSIR: length byte
    std::vector<std::uint8_t> a;    // XSIR: instruction; XTDOMASK: mask; XSDRTDO: TDI
    std::vector<std::uint8_t> b;    // XSDRTDO: expected TDO
};

struct WalkedProgram {
    std::vector<WalkedCommand> commands;
    bool clean = false;             // ends with XCOMPLETE as the last byte
    std::string error;              // why it is not clean
};

WalkedProgram walk_program(const std::uint8_t* data, std::uint32_t size);

// Short text of a command: "XRUNTEST 14000", "XSIR", "XSDRSIZE 16", "XTDOMASK",
// "XSDRTDO 2048", "XSTATE 1", "XREPEAT 0", "XCOMPLETE".
std::string command_text(const WalkedCommand& c);

// Bit i (the i-th bit shifted) of a big-endian vector.
int vector_bit(const std::vector<std::uint8_t>& v, std::uint32_t i);
