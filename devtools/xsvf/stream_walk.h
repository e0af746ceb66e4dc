// Walks an XSVF stream command by command for checking, disassembling and testing programs,
// by playing it with the player itself: the same operand reading and the same command set
// (XSVF_COMMANDS) as on a card. The run is in virtual time with the log silenced, against a
// card that answers every sampled TDO bit as the stream expects it, so it stops only where the
// player stops whatever the card: at an unsupported opcode, an illegal state, a data-register
// length over the buffer, a stream that ends before XCOMPLETE, or an expected value that no
// card can shift out. Each command is the bytes the reader delivered during its step, split
// into operands by its row's layout.
//
// The walk configures the simulated platform for itself (one card, the answering target), so
// a caller that plays afterwards configures it again; the port's shadow word, the reader and
// the log level are left as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "xsvf/player.h"

struct WalkedVector {
    std::uint32_t offset = 0; // into the stream
    std::uint32_t length = 0; // bytes
};

struct WalkedCommand {
    std::uint32_t offset = 0;     // of the opcode byte
    int number = 0;               // 1-based
    std::uint8_t opcode = 0;
    std::uint32_t size = 0;       // bytes of the whole command
    bool has_value = false;       // XRUNTEST, XSDRSIZE, XREPEAT, XSTATE, XENDIR, XENDDR, XSIR (length)
    std::uint32_t value = 0;
    std::uint32_t shift_bits = 0; // data-register length in force after the command
    std::vector<WalkedVector> vectors; // vector operands in stream order (XSDRINC: TDI, then blocks)
    std::uint32_t repeat_count = 0;    // XSDRINC
};

struct WalkResult {
    std::int32_t result = ErrNone;  // the player's result
    bool ok = false;                // result is ErrNone: the stream reaches XCOMPLETE
    int commands = 0;               // commands walked completely
    std::uint32_t bytes_played = 0; // bytes the player read
    std::uint32_t trailing = 0;     // bytes after XCOMPLETE: never read
    // On failure: the failing command's number (the player's "ERROR at XSVF command #"), the
    // offset of its opcode (the stream's end when the stream ends between commands), and why.
    int error_command = 0;
    std::uint32_t error_offset = 0;
    std::string error;
};

// Calls visit for each complete command, in order, and stops where the player stops.
WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit);

// The whole walk at once.
struct WalkedStream {
    WalkResult result;
    std::vector<WalkedCommand> commands;
};
WalkedStream xsvf_walk_all(std::span<const std::uint8_t> stream);

// The offset of each command's opcode, the failing command's included: the commands of the
// stream by the reader's position.
std::vector<std::uint32_t> xsvf_command_starts(std::span<const std::uint8_t> stream);

// The bytes of a vector operand.
std::vector<std::uint8_t> xsvf_vector_bytes(std::span<const std::uint8_t> stream, const WalkedVector& v);
