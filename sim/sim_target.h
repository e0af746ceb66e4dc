// What sits behind a simulated card's register block: the simulated card itself, a recorder
// for tests and tools, or nothing at all. The simulated register seam hands every access to
// the target of the card whose block it falls in, in program order.
#pragma once

#include <cstdint>

struct SimTarget {
    void* context = nullptr;
    // offset: byte offset from the register address (card/port_registers.h)
    std::uint32_t (*read)(void* context, std::uint32_t offset) = nullptr;
    void (*write)(void* context, std::uint32_t offset, std::uint32_t value) = nullptr;
    // Told of every sleep of the simulated clock, so that targets can record it.
    void (*sleep)(void* context, std::uint32_t milliseconds) = nullptr;
    // Optional, for a target whose answers are far away (reg_read_bit and reg_collect in
    // platform/regs.h): one read whose bit `bit` goes to bit `at` of *into by the next
    // collect at the latest. A target without it answers such reads through `read`, at once.
    void (*read_bit)(void* context, std::uint32_t offset, unsigned bit, std::uint8_t* into, unsigned at) = nullptr;
    void (*collect)(void* context) = nullptr;
};
