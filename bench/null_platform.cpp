// A platform that does nothing: one register word that every access goes to (a volatile
// store or load, as on the real side, so the compiler cannot drop the accesses), sleeps that
// return at once, no window. Used to measure the player's own cost per shifted bit.
#include "platform/os.h"
#include "platform/regs.h"
#include "platform/ui.h"

namespace {

volatile std::uint32_t NullRegister = 0;

} // namespace

std::uint32_t reg_read(RegAddr)
{
    return NullRegister & 0u;
}

void reg_write(RegAddr, std::uint32_t value)
{
    NullRegister = value;
}

void reg_read_bit(RegAddr address, unsigned bit, std::uint8_t* into, unsigned at)
{
    const unsigned value = (reg_read(address) >> (bit & 31u)) & 1u;
    *into = static_cast<std::uint8_t>((*into & ~(1u << (at & 7u))) | (value << (at & 7u)));
}

void reg_collect()
{
}

std::uint16_t mem_read_u16(RegAddr)
{
    return 0;
}

std::uint32_t os_get_version()
{
    return 0;
}

OsHandle os_create_file(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
    return OS_INVALID_HANDLE;
}

int os_device_io_control(OsHandle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t)
{
    return 0;
}

int os_close_handle(OsHandle)
{
    return 0;
}

void os_sleep(std::uint32_t)
{
}

std::intptr_t ui_send_item_message(WindowHandle, int, unsigned, std::uintptr_t, std::intptr_t)
{
    return 0;
}

void ui_answer_messages()
{
}

int os_get_power_status(OsPowerStatus*)
{
    return 0;
}
