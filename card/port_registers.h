// The card's register block, as the driver maps it and the JTAG port drives it: every offset
// and bit that the tool, the simulated card and the developer tools use, named once.
//
//   0x000  status word       bit 28: TDO; the other bits mean nothing to the tool
//   0x100  control word 0    bit 0 TMS, bit 1 TCK, bit 2 TDI, bit 3 enables the card's JTAG
//                            buffers, bit 4 asks the card to load its logic from the
//                            configuration memory at the next power-up
//   0x104  control word 1    the port writes each TCK change to all four control words
//   0x108  control word 2
//   0x10C  control word 3
#pragma once

#include <cstdint>

// Byte offsets from the register address that the driver's mapping returns.
constexpr std::uint32_t PORT_STATUS_WORD = 0x000;
constexpr std::uint32_t PORT_CONTROL_WORD_0 = 0x100;
constexpr std::uint32_t PORT_CONTROL_STRIDE = 4;
constexpr std::uint32_t PORT_CONTROL_WORDS = 4;
// The bytes of the block that the tool uses: the driver must map at least this many.
constexpr std::uint32_t PORT_BLOCK_USED = PORT_CONTROL_WORD_0 + PORT_CONTROL_WORDS * PORT_CONTROL_STRIDE;

// Status word: TDO.
constexpr std::uint32_t PORT_TDO_BIT = 28;

// Control word bits.
constexpr std::uint32_t PORT_TMS_BIT = 0x1;
constexpr std::uint32_t PORT_TCK_BIT = 0x2;
constexpr std::uint32_t PORT_TDI_BIT = 0x4;
constexpr std::uint32_t PORT_JTAG_ENABLE = 0x8;
constexpr std::uint32_t PORT_RELOAD_REQUEST = 0x10;

// The offset of control word k (0 to 3).
constexpr std::uint32_t port_control_word(std::uint32_t k)
{
    return PORT_CONTROL_WORD_0 + k * PORT_CONTROL_STRIDE;
}

// The control word (0 to 3) at a byte offset, or PORT_CONTROL_WORDS when no control word is there.
constexpr std::uint32_t port_control_index(std::uint32_t offset)
{
    if (offset < PORT_CONTROL_WORD_0 || (offset - PORT_CONTROL_WORD_0) % PORT_CONTROL_STRIDE != 0) {
        return PORT_CONTROL_WORDS;
    }
    const std::uint32_t k = (offset - PORT_CONTROL_WORD_0) / PORT_CONTROL_STRIDE;
    return k < PORT_CONTROL_WORDS ? k : PORT_CONTROL_WORDS;
}
