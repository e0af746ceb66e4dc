// The programmable logic device on the card: instruction set, register lengths, run-test
// minimums, memory geometry, identity codes and the synthetic configuration that each card
// model carries. The simulated card and the generator of the embedded programs both use
// this one definition, so that they agree bit for bit. docs/logic-device.md describes it.
#pragma once

#include <cstdint>

#include "images/card_models.h"

// ---- instruction register ----
constexpr int DEVICE_IR_LENGTH = 8;
// Value loaded into the instruction shift register in Capture-IR; ends in binary 01.
constexpr std::uint8_t DEVICE_IR_CAPTURE = 0x11;

// Instructions. Codes not listed select the bypass register and do nothing else.
enum DeviceInstruction : std::uint8_t {
    DEVICE_IDCODE = 0x01,  // select the 32-bit identity register (also after Test-Logic-Reset)
    DEVICE_STATUS = 0x03,  // select the 6-bit status register (read only)
    DEVICE_ADDRESS = 0x05, // select the 16-bit address register; latched after 1 us in Run-Test/Idle
    DEVICE_LOAD = 0x06,    // select the 2048-bit row buffer
    DEVICE_READ = 0x07,    // select the 4224-bit read buffer; fetch after 50 us in Run-Test/Idle
    DEVICE_ENABLE = 0x10,  // enter programming mode (110 ms)
    DEVICE_VERIFY = 0x11,  // enter verify mode (110 ms)
    DEVICE_DISABLE = 0x12, // leave programming or verify mode (110 ms)
    DEVICE_ERASE = 0x20,   // erase the sector holding the address, step to the next (100 ms)
    DEVICE_PROGRAM = 0x21, // program the row buffer into the row at the address, step (14 ms)
    DEVICE_DONE = 0x22,    // program the done flag: the configuration is complete (37 ms)
    DEVICE_BYPASS = 0xFF,  // select the 1-bit bypass register
};

// ---- data registers, in bits ----
constexpr int DEVICE_IDCODE_LENGTH = 32;
constexpr int DEVICE_STATUS_LENGTH = 6;
constexpr int DEVICE_ADDRESS_LENGTH = 16;
constexpr int DEVICE_BYPASS_LENGTH = 1;
constexpr int DEVICE_ROW_BITS = 2048;        // row buffer: one row of the memory
constexpr int DEVICE_READ_BITS = 4224;       // read buffer: 33 blocks from the address on

// ---- run-test minimums, in microseconds ----
// An operation takes effect when the TAP leaves Run-Test/Idle with the operation's
// instruction in the instruction register, after a dwell of at least this long there.
constexpr std::uint32_t DEVICE_ADDRESS_US = 1;
constexpr std::uint32_t DEVICE_READ_US = 50;
constexpr std::uint32_t DEVICE_PROGRAM_US = 14000;
constexpr std::uint32_t DEVICE_DONE_US = 37000;
constexpr std::uint32_t DEVICE_ERASE_US = 100000;
constexpr std::uint32_t DEVICE_MODE_US = 110000; // ENABLE, VERIFY, DISABLE

// ---- configuration memory ----
// Addresses count blocks of 128 bits. A row is 16 blocks, a sector 64 rows.
constexpr std::uint32_t DEVICE_BLOCK_BITS = 128;
constexpr std::uint32_t DEVICE_ROWS = 382;
constexpr std::uint32_t DEVICE_ROW_BLOCKS = DEVICE_ROW_BITS / DEVICE_BLOCK_BITS;          // 16
constexpr std::uint32_t DEVICE_MEMORY_BITS = DEVICE_ROWS * DEVICE_ROW_BITS;               // 782336
constexpr std::uint32_t DEVICE_MEMORY_BLOCKS = DEVICE_MEMORY_BITS / DEVICE_BLOCK_BITS;    // 6112
constexpr std::uint32_t DEVICE_MEMORY_WORDS = DEVICE_MEMORY_BITS / 64;                    // 12224
constexpr std::uint32_t DEVICE_ROW_WORDS = DEVICE_ROW_BITS / 64;                          // 32
constexpr std::uint32_t DEVICE_READ_WORDS = DEVICE_READ_BITS / 64;                        // 66
constexpr std::uint32_t DEVICE_SECTOR_ROWS = 64;
constexpr std::uint32_t DEVICE_SECTOR_BLOCKS = DEVICE_SECTOR_ROWS * DEVICE_ROW_BLOCKS;    // 1024
constexpr std::uint32_t DEVICE_SECTORS = (DEVICE_ROWS + DEVICE_SECTOR_ROWS - 1) / DEVICE_SECTOR_ROWS; // 6
static_assert(DEVICE_MEMORY_BITS % 64 == 0 && DEVICE_READ_BITS % 64 == 0);
static_assert(DEVICE_MEMORY_BLOCKS < (1u << DEVICE_ADDRESS_LENGTH));

// ---- status register bits ----
constexpr std::uint8_t DEVICE_STATUS_ONE = 0x01;      // always 1
// bit 1 is always 0: together with bit 0 it shows a line stuck at either level
constexpr std::uint8_t DEVICE_STATUS_PROGRAM = 0x04;  // programming mode
constexpr std::uint8_t DEVICE_STATUS_VERIFY = 0x08;   // verify mode
constexpr std::uint8_t DEVICE_STATUS_BLANK = 0x10;    // every memory bit is erased (1)
constexpr std::uint8_t DEVICE_STATUS_DONE = 0x20;     // the done flag is programmed

// ---- identity ----
// Each card model's device has its own IDCODE (CARD_MODELS): version (4 bits) | part number
// (16) | maker code (11) | 1. The maker code 0x07F is one that no maker holds, since the
// device is this project's own invention. The programs compare every bit but the version field.
constexpr std::uint32_t DEVICE_IDCODE_MASK = 0x0FFFFFFFu;

constexpr std::uint32_t device_idcode(CardModel model)
{
    return card_model_of(model).idcode;
}

// The device of another model than the card's (the next one in CARD_MODELS).
constexpr CardModel device_other_model(CardModel model)
{
    return static_cast<CardModel>((model + 1) % CARD_MODEL_COUNT);
}

// ---- synthetic memory contents ----
// A fixed pseudo-random stream (splitmix64), so that every bit of the memory matters and the
// two models differ in every row.
constexpr std::uint64_t device_mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The configuration of each card model starts from the model's seed (CARD_MODELS); what a
// card holds when it is delivered starts from this one.
constexpr std::uint64_t DEVICE_SEED_FACTORY = 0x464143544F525921ull;

// Word w (bits 64w..64w+63, bit 0 first) of the configuration of a card model.
constexpr std::uint64_t device_configuration_word(CardModel model, std::uint32_t w)
{
    return device_mix(card_model_of(model).seed + w);
}

// Word w of what the memory holds when a card is delivered: an older configuration.
constexpr std::uint64_t device_factory_word(std::uint32_t w)
{
    return device_mix(DEVICE_SEED_FACTORY + w);
}

// Bit b of the memory of a card holding the configuration of a model.
constexpr int device_configuration_bit(CardModel model, std::uint32_t b)
{
    return static_cast<int>((device_configuration_word(model, b / 64) >> (b % 64)) & 1u);
}
