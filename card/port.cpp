// JTAG signal port over the card's register block.
#include "card/port.h"

#include "card/driver.h"
#include "platform/os.h"
#include "platform/regs.h"
#include "platform/ui.h"

std::uint32_t PortShadow = PORT_SHADOW_INITIAL;

namespace {

// The register pointer addresses control word 0; the others lie at fixed distances from it.
RegAddr control_word(std::uint32_t k)
{
    return RegisterPointer + static_cast<RegAddr>(port_control_word(k) - PORT_CONTROL_WORD_0);
}

RegAddr status_word()
{
    return RegisterPointer - static_cast<RegAddr>(PORT_CONTROL_WORD_0 - PORT_STATUS_WORD);
}

// The shared set operation of the three lines: the bit of the line in the shadow word, and
// for TCK the shadow word written to the four control words.
enum class Line : std::uint8_t { Tdi, Tck, Tms };

void set_line(Line line, std::uint32_t level)
{
    const std::uint32_t bit = line == Line::Tdi ? PORT_TDI_BIT : line == Line::Tck ? PORT_TCK_BIT : PORT_TMS_BIT;
    if ((level & 0xFFFFu) != 0) {
        PortShadow |= bit;
    } else {
        PortShadow &= ~bit;
    }
    if (line == Line::Tck) {
        const std::uint32_t value = PortShadow;
        for (std::uint32_t k = 0; k < PORT_CONTROL_WORDS; ++k) {
            reg_write(control_word(k), value);
        }
    }
}

} // namespace

void port_set_tms(std::uint32_t level)
{
    set_line(Line::Tms, level);
}

void port_set_tdi(std::uint32_t level)
{
    set_line(Line::Tdi, level);
}

void port_set_tck(std::uint32_t level)
{
    set_line(Line::Tck, level);
}

void port_pulse_tck()
{
    port_set_tck(0);
    port_set_tck(1);
    port_set_tck(0);
}

int port_read_tdo()
{
    const std::uint32_t status = reg_read(status_word());
    return static_cast<int>((status >> PORT_TDO_BIT) & 1u);
}

void port_sample_tdo(std::uint8_t* into, int at)
{
    reg_read_bit(status_word(), PORT_TDO_BIT, into, static_cast<unsigned>(at));
}

void port_collect_tdo()
{
    reg_collect();
}

void port_delay(std::uint32_t passes)
{
    for (std::uint32_t i = 0; i < passes; ++i) {
        reg_write(control_word(0), PortShadow);
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
    // us is at least 1000 here, so the quotient is at least 1 millisecond. A sleep is where an
    // update spends most of its time: the windows are answered on either side of it.
    const std::int64_t ms = (static_cast<std::int64_t>(us) + 999) / 1000;
    ui_answer_messages();
    os_sleep(static_cast<std::uint32_t>(ms));
    ui_answer_messages();
}

// The buffers are enabled with TCK low. The shadow word is not touched; its bit 3 is this
// same enable bit, so the port's own writes keep the buffers on.
void port_enable_jtag()
{
    reg_write(control_word(0), PORT_JTAG_ENABLE);
}

void port_request_reload()
{
    reg_write(control_word(0), PORT_RELOAD_REQUEST);
}
