// Access to a card's memory-mapped register block, behind one seam.
//
// Every call is exactly one 32-bit access, carried out in program order: none is merged,
// dropped, cached or moved. Two sides implement this header, chosen at link time:
//   platform/regs_mmio.cpp  volatile accesses to the block that the driver mapped (the product);
//   sim/sim_regs.cpp        the same calls handed, in order, to a simulated card or a recorder.
//
// A RegAddr is the address of one 32-bit word. On the real side it is a virtual address in
// this process. On the simulated side it is a token below 4 GiB that the simulated driver
// handed out in place of a mapping and that the simulated side resolves to a card and an
// offset; this keeps the driver's 32-bit address words valid on 64-bit hosts too.
#pragma once

#include <cstdint>

using RegAddr = std::uintptr_t;

std::uint32_t reg_read(RegAddr address);
void reg_write(RegAddr address, std::uint32_t value);

// One read of one bit, for a caller that needs the value only later: exactly the access of
// reg_read(address), in its place in program order, after which bit `bit` (0 to 31) of the
// word is stored in bit `at` (0 to 7) of *into (the byte's other bits unchanged). The store may come late: it
// is done by the next reg_collect() at the latest, and *into must stay valid until then.
// The real side reads and stores at once. The simulated side lets a card at the far end of a
// connection send the reads of a whole shift before it waits for their answers.
void reg_read_bit(RegAddr address, unsigned bit, std::uint8_t* into, unsigned at);
// Completes every reg_read_bit made so far. No register access of its own.
void reg_collect();

// What reg_read_bit stores: bit `bit` of a word read into bit `at` of *into, the byte's other
// bits unchanged. Every side of the seam stores through this one.
inline void reg_store_bit(std::uint8_t* into, unsigned at, std::uint32_t word, unsigned bit)
{
    const unsigned value = (word >> (bit & 31u)) & 1u;
    *into = static_cast<std::uint8_t>((*into & ~(1u << (at & 7u))) | (value << (at & 7u)));
}

// Reads the unsigned 16-bit value at a byte address of memory that the card driver owns
// and lets the process read (the 9x driver's per-card structure).
std::uint16_t mem_read_u16(RegAddr address);
