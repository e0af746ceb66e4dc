// Walks an XSVF stream command by command without playing it, for checking, disassembling
// and testing programs. The walk follows the player's operand rules and keeps what decides
// the player's verdict on a stream (the data-register length, the data mask, the end
// states, the run-test wait and the TAP state), so it stops where the player stops with the
// same result code: at an unsupported opcode, an illegal state, a data-register length over
// the buffer, or a stream that ends before XCOMPLETE. Whether captured TDO matches depends on
// the card, not on the stream: the walker takes every comparison as a match.
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
    // The player's result on this stream when every comparison matches: ErrNone,
    // ErrUnsupportedCommand, ErrIllegalState, ErrDataOverflow or ErrStreamEnded.
    std::int32_t result = ErrNone;
    bool ok = false;                // result is ErrNone: the stream reaches XCOMPLETE
    int commands = 0;               // commands walked completely
    std::uint32_t bytes_played = 0; // bytes the player reads before it stops
    std::uint32_t trailing = 0;     // bytes after XCOMPLETE: playable, but never read
    // On failure: the player's failing command number ("ERROR at XSVF command #"), the
    // offset of its opcode (of the missing opcode when the stream ends between commands),
    // and what is wrong.
    int error_command = 0;
    std::uint32_t error_offset = 0;
    std::string error;
};

// Calls visit for each complete command, in order, and stops where the player would.
WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit);

// The whole walk at once.
struct WalkedStream {
    WalkResult result;
    std::vector<WalkedCommand> commands;
};
WalkedStream xsvf_walk_all(std::span<const std::uint8_t> stream);

// The bytes of a vector operand.
std::vector<std::uint8_t> xsvf_vector_bytes(std::span<const std::uint8_t> stream, const WalkedVector& v);
