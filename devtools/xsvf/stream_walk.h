// Walks an XSVF stream command by command with the player's operand rules, without playing
// it: for checking and disassembling programs.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The largest data-register length the player accepts, in bytes and bits.
constexpr std::uint32_t XSVF_MAX_BYTES = 7000;

struct WalkedVector {
    std::uint32_t offset = 0; // into the stream
    std::uint32_t length = 0; // bytes
};

struct WalkedCommand {
    std::uint32_t offset = 0;  // of the opcode byte
    int number = 0;            // 1-based
    std::uint8_t opcode = 0;
    std::uint32_t size = 0;    // bytes of the whole command
    bool has_value = false;    // XRUNTEST, XSDRSIZE, XREPEAT, XSTATE, XENDIR, XENDDR, XSIR (length)
    std::uint32_t value = 0;
    std::vector<WalkedVector> vectors; // vector operands in stream order (XSDRINC: TDI, then blocks)
    std::uint32_t repeat_count = 0;    // XSDRINC
};

struct WalkResult {
    bool ok = false;
    int commands = 0;               // commands walked completely
    std::uint32_t error_offset = 0; // where the walk stopped (on failure)
    int error_command = 0;          // number of the command it stopped in
    std::string error;              // what is wrong
};

// Calls visit for each complete command, in order. Succeeds only when the stream ends with
// an XCOMPLETE that is its last byte.
WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit);
