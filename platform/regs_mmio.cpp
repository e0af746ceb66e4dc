// Register access on a card: one volatile 32-bit load or store per call.
#include "platform/regs.h"

std::uint32_t reg_read(RegAddr address)
{
    return *reinterpret_cast<volatile const std::uint32_t*>(address);
}

void reg_write(RegAddr address, std::uint32_t value)
{
    *reinterpret_cast<volatile std::uint32_t*>(address) = value;
}

void reg_read_bit(RegAddr address, unsigned bit, std::uint8_t* into, unsigned at)
{
    reg_store_bit(into, at, reg_read(address), bit);
}

void reg_collect()
{
}

std::uint16_t mem_read_u16(RegAddr address)
{
    return *reinterpret_cast<volatile const std::uint16_t*>(address);
}
