// JTAG signal port: exact register writes, TDO sampling and waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/driver.h"
#include "card/port.h"
#include "card/port_lines.h"
#include "sim/recording_target.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"

namespace {

class PortTest : public ::testing::Test {
protected:
    RecordingTarget rec;

    void SetUp() override
    {
        SimConfig c;
        c.card_count = 1;
        sim_configure(c);
        sim_attach_target(0, recording_target(&rec));
        sim_map_directly(0);
        PortShadow = PORT_SHADOW_INITIAL;
    }

    static std::vector<RecordedEvent> writes_of(std::uint32_t value, std::initializer_list<std::uint32_t> offsets)
    {
        std::vector<RecordedEvent> v;
        for (std::uint32_t o : offsets) {
            v.push_back({'W', o, value});
        }
        return v;
    }
};

TEST_F(PortTest, DataLinesReachTheCardOnlyWithTheNextClockChange)
{
    port_set_tms(0);
    port_set_tdi(1);
    EXPECT_EQ(port_read_tdo(), 0);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0], (RecordedEvent{'R', 0x000, 0}));
    port_set_tck(1);
    EXPECT_EQ(rec.events.back(), (RecordedEvent{'W', 0x10C, 0x0E}));
    port_set_tck(0);
    EXPECT_EQ(rec.events.back(), (RecordedEvent{'W', 0x10C, 0x0C}));
}

TEST_F(PortTest, EachPulsePresentsTheDataLinesWithTckLowThenHighThenLow)
{
    // Every word on the card is 8 + TMS + 2 x TCK + 4 x TDI, from the initial shadow word on.
    struct Case {
        std::uint32_t tms;
        std::uint32_t tdi;
        std::uint32_t low;
    };
    for (const Case& c : {Case{1, 0, 0x09}, Case{0, 1, 0x0C}, Case{1, 1, 0x0D}, Case{0, 0, 0x08}}) {
        rec.events.clear();
        port_set_tms(c.tms);
        port_set_tdi(c.tdi);
        EXPECT_TRUE(rec.events.empty());
        port_pulse_tck();
        std::vector<RecordedEvent> expected;
        for (std::uint32_t value : {c.low, c.low | 0x02u, c.low}) {
            for (const RecordedEvent& e : writes_of(value, {0x100, 0x104, 0x108, 0x10C})) {
                expected.push_back(e);
            }
        }
        EXPECT_EQ(rec.events, expected) << c.tms << c.tdi;
        EXPECT_EQ(PortShadow, c.low);
    }
}

TEST_F(PortTest, TheUpdatesOwnWritesGoToControlWordZeroAndLeaveTheShadowWord)
{
    port_set_tms(1);
    port_enable_jtag();
    port_request_reload();
    EXPECT_EQ(rec.events, (std::vector<RecordedEvent>{{'W', 0x100, 0x08}, {'W', 0x100, 0x10}}));
    EXPECT_EQ(PortShadow, 0x09u);
}

TEST_F(PortTest, TdoIsBit28OfTheStatusWord)
{
    // The recorder presents only bit 28; the status word's other bits are tried through a
    // custom target.
    static std::uint32_t status;
    SimTarget t;
    t.read = [](void*, std::uint32_t) { return status; };
    sim_attach_target(0, t);
    status = 0x10000000u;
    EXPECT_EQ(port_read_tdo(), 1);
    status = 0xEFFFFFFFu;
    EXPECT_EQ(port_read_tdo(), 0);
    status = 0xFFFFFFFFu;
    EXPECT_EQ(port_read_tdo(), 1);
}

TEST_F(PortTest, ASampleIsOneStatusReadIntoOneBitOfItsByte)
{
    static std::uint32_t status;
    SimTarget t;
    t.read = [](void*, std::uint32_t offset) {
        EXPECT_EQ(offset, 0u);
        return status;
    };
    sim_attach_target(0, t);
    struct Case { std::uint32_t status; std::uint8_t before; int at; std::uint8_t after; };
    const Case cases[] = {
        {0x10000000u, 0x00, 0, 0x01}, {0x10000000u, 0x00, 7, 0x80}, {0xEFFFFFFFu, 0xFF, 3, 0xF7},
        {0xFFFFFFFFu, 0x5A, 0, 0x5B}, {0x00000000u, 0x5A, 1, 0x58}, {0x10000000u, 0x5A, 4, 0x5A},
    };
    for (const Case& c : cases) {
        status = c.status;
        std::uint8_t byte = c.before;
        const std::uint64_t reads = TheSimClock.register_reads;
        port_sample_tdo(&byte, c.at);
        EXPECT_EQ(byte, c.after) << c.at; // a target without read_bit answers at once
        port_collect_tdo();
        EXPECT_EQ(byte, c.after) << c.at;
        EXPECT_EQ(TheSimClock.register_reads, reads + 1);
    }
}

TEST_F(PortTest, WaitsBelowOneMillisecondWriteFivePerMicrosecond)
{
    struct Case { std::int32_t us; std::uint64_t writes; std::uint64_t sleep_ms; };
    const Case cases[] = {
        {0, 0, 0}, {1, 5, 0}, {999, 4995, 0}, {1000, 0, 1}, {1001, 0, 2}, {2000, 0, 2}, {2001, 0, 3},
        {14000, 0, 14}, {110000, 0, 110}, {PORT_MAX_WAIT_US, 0, 2147483},
    };
    port_set_tdi(1);
    for (const Case& c : cases) {
        rec.events.clear();
        port_wait_us(c.us);
        std::uint64_t writes = 0;
        std::uint64_t slept = 0;
        int sleeps = 0;
        for (const RecordedEvent& e : rec.events) {
            if (e.kind == 'W') {
                ++writes;
                EXPECT_EQ(e.offset, 0x100u) << c.us;
                EXPECT_EQ(e.value, 0x0Cu) << c.us;
            } else if (e.kind == 'S') {
                ++sleeps;
                slept += e.value;
            }
        }
        EXPECT_EQ(writes, c.writes) << c.us;
        EXPECT_EQ(slept, c.sleep_ms) << c.us;
        EXPECT_EQ(sleeps, c.sleep_ms ? 1 : 0) << c.us;
    }
}

TEST_F(PortTest, WaitsOutsideTheRangeNeitherHangNorOverflow)
{
    // Negative waits (a stream's run-test value of 0x80000000 or more) do nothing at all.
    for (std::int32_t us : {-1, -1000, INT32_MIN}) {
        port_wait_us(us);
    }
    EXPECT_TRUE(rec.events.empty());
    // Above the range the millisecond count is rounded up without overflow.
    port_wait_us(INT32_MAX);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0], (RecordedEvent{'S', 0, 2147484}));
}

TEST_F(PortTest, DelayWritesTheShadowWordToControlWordZero)
{
    port_delay(0);
    EXPECT_TRUE(rec.events.empty());
    port_delay(3);
    EXPECT_EQ(rec.events, writes_of(0x08, {0x100, 0x100, 0x100}));
}

TEST_F(PortTest, SimulatedClockCountsWritesAndSleeps)
{
    sim_clock_reset();
    port_wait_us(999);
    EXPECT_EQ(sim_clock_now_ns(), 999000u);
    port_wait_us(1001);
    EXPECT_EQ(sim_clock_now_ns(), 999000u + 2000000u);
}

} // namespace

// The decoder of the lines, fed with the port's own accesses: every TCK change is one edge
// with the levels the port set, every pass of the busy wait is one pass, and the update
// sequence's direct writes turn the buffers on and off.
TEST_F(PortTest, TheDecoderReadsThePortsOwnAccessesBackAsLinesEdgesAndPasses)
{
    port_enable_jtag();
    port_set_tms(1);
    port_set_tdi(1);
    port_pulse_tck();
    port_wait_us(3);
    port_set_tms(0);
    port_pulse_tck();
    port_delay(1);
    port_request_reload();
    PortDecoder d;
    std::string seen;
    for (const RecordedEvent& e : rec.events) {
        int edge = 0;
        if (port_decode_write(&d, e.offset, e.value, &edge)) {
            seen += d.lines.enabled ? "" : "off ";
        }
        seen += edge > 0 ? (d.lines.tms ? "R1" : "R0") + std::string(d.lines.tdi ? "/1 " : "/0 ") : edge < 0 ? "F " : "";
    }
    port_decode_settle(&d);
    EXPECT_EQ(seen, "R1/1 F R0/1 F off ");
    EXPECT_EQ(d.passes, 3 * PORT_DELAY_PASSES_PER_US + 1);
    EXPECT_EQ(d.control[3], PORT_JTAG_ENABLE | PORT_TDI_BIT);
    // A repeat of control word 0 that word 1 follows is the start of a TCK change, not a pass.
    PortDecoder r;
    int edge = 0;
    for (const std::uint32_t offset : {0x100u, 0x100u, 0x104u, 0x100u, 0x100u}) {
        port_decode_write(&r, offset, 9, &edge);
    }
    port_decode_settle(&r);
    EXPECT_EQ(r.passes, 2u);
    EXPECT_EQ(port_lines(0x0E), (PortLines{true, true, false, true}));
    EXPECT_EQ(port_lines(0x17), PortLines{});
    EXPECT_EQ(port_word(true, false, true), 0x0Eu);
    EXPECT_EQ(port_tdo_of(port_status_word_of(1)), 1);
}
