// JTAG signal port over the card's register block.
#include "card/port.h"

#include "card/driver.h"
#include "platform/os.h"
#include "platform/regs.h"

std::uint32_t PortShadow = PORT_SHADOW_INITIAL;

namespace {

constexpr std::uint32_t LINE_BITS[3] = {PORT_TDI_BIT, PORT_TCK_BIT, PORT_TMS_BIT};
constexpr RegAddr CONTROL_WORD_STRIDE = 4;
constexpr int CONTROL_WORDS = 4;

} // namespace

void port_set_line(int line, std::uint32_t level)
{
    if (line < PORT_LINE_TDI || line > PORT_LINE_TMS) {
        return;
    }
    const std::uint32_t bit = LINE_BITS[line];
    if ((level & 0xFFFFu) != 0) {
        PortShadow |= bit;
    } else {
        PortShadow &= ~bit;
    }
    if (line == PORT_LINE_TCK) {
        const std::uint32_t value = PortShadow;
        for (int i = 0; i < CONTROL_WORDS; ++i) {
            reg_write(RegisterPointer + static_cast<RegAddr>(i) * CONTROL_WORD_STRIDE, value);
        }
    }
}

void port_set_tms(std::uint32_t level)
{
    port_set_line(PORT_LINE_TMS, level);
}

void port_set_tdi(std::uint32_t level)
{
    port_set_line(PORT_LINE_TDI, level);
}

void port_set_tck(std::uint32_t level)
{
    port_set_line(PORT_LINE_TCK, level);
}

void port_pulse_tck()
{
    port_set_tck(0);
    port_set_tck(1);
    port_set_tck(0);
}

int port_read_tdo()
{
    const std::uint32_t status = reg_read(RegisterPointer + static_cast<RegAddr>(PORT_STATUS_OFFSET));
    return static_cast<int>((status >> PORT_TDO_BIT) & 1u);
}

void port_sample_tdo(std::uint8_t* into, int at)
{
    reg_read_bit(RegisterPointer + static_cast<RegAddr>(PORT_STATUS_OFFSET), PORT_TDO_BIT, into,
                 static_cast<unsigned>(at));
}

void port_collect_tdo()
{
    reg_collect();
}

void port_delay(std::uint32_t passes)
{
    for (std::uint32_t i = 0; i < passes; ++i) {
        reg_write(RegisterPointer, PortShadow);
    }
}

// A negative wait (a run-test value of 0x80000000 or more read from a stream) is no wait at
// all: taken as a huge unsigned count it would keep the tool busy for hours. Waits above
// PORT_MAX_WAIT_US are rounded up to whole milliseconds in 64-bit arithmetic, so the sum
// cannot overflow; the longest sleep is thus 2,147,484 ms.
void port_wait_us(std::int32_t us)
{
    if (us <= 0) {
        return;
    }
    if (us < PORT_SLEEP_THRESHOLD_US) {
        port_delay(static_cast<std::uint32_t>(us) * PORT_DELAY_PASSES_PER_US);
        return;
    }
    // us is at least 1000 here, so the quotient is at least 1 millisecond.
    const std::int64_t ms = (static_cast<std::int64_t>(us) + 999) / 1000;
    os_sleep(static_cast<std::uint32_t>(ms));
}
