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
};
