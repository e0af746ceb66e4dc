// The work accounting of the fuzz targets: where the gap bound and the budget stop a run, and
// the reference's stops, driven by register accesses as the simulated register seam delivers
// them. That real runs stay within the bound is checked_play_test's.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fuzz/work_check.h"
#include "images/image_source.h"
#include "xsvf/vector_buffer.h"

namespace {

constexpr std::uint32_t CONTROL_WORD_0 = 0x100; // on the wire, as the card sees it

// Writes through a target, with the reader at `consumed`; returns why the target stopped
// the run, or nothing.
struct Driver {
    SimTarget target;
    int stops = 0;
    StopReason last{};

    bool write(std::uint32_t consumed, std::uint32_t value = 0x8)
    {
        ImageReadIndex = consumed;
        try {
            target.write(target.context, CONTROL_WORD_0, value);
        } catch (const RunStop& s) {
            ++stops;
            last = s.reason;
            return false;
        }
        return true;
    }
};

TEST(WorkCheck, ThePlayedRunIsStoppedWithAFindingOneEventBeyondTheBound)
{
    const std::vector<std::uint8_t> stream = {7, 2, 0};
    PlayedWork work;
    work.stream = stream.data();
    work.length = 3;
    work.budget = 1u << 30;
    Driver d{played_work_target(&work)};

    // Before the first read only the update sequence's work is allowed.
    for (std::uint64_t i = 0; i < SEQUENCE_EVENTS; ++i) {
        ASSERT_TRUE(d.write(0));
    }
    EXPECT_FALSE(d.write(0));
    EXPECT_EQ(d.last, StopReason::Finding);
    EXPECT_EQ(work.finding, "work: more than 61 events after byte 0 was read, before the next");

    // After two bytes: the byte just read is 2, the largest so far 7.
    work.finding.clear();
    const std::uint64_t bound = work_gap_bound(2, 7, 2);
    for (std::uint64_t i = 0; i < bound; ++i) {
        ASSERT_TRUE(d.write(2)) << i;
    }
    EXPECT_FALSE(d.write(2));
    EXPECT_EQ(d.last, StopReason::Finding);
    // Each read starts a new gap.
    work.finding.clear();
    EXPECT_TRUE(d.write(3));
    EXPECT_EQ(work.gap_events, 1u);
    EXPECT_EQ(work.gap_bound, work_gap_bound(0, 7, 3));
    EXPECT_EQ(work.recorder.writes, SEQUENCE_EVENTS + 1 + bound + 1 + 1);
    EXPECT_EQ(work.ledger.events, work.recorder.writes);
    EXPECT_EQ(d.stops, 2);
}

TEST(WorkCheck, CountsPulsesLeavesOutTheReloadRequestAndStopsAtTheBudget)
{
    const std::uint8_t byte = 0;
    PlayedWork work;
    work.stream = &byte;
    work.length = 1;
    work.budget = 5;
    Driver d{played_work_target(&work)};
    EXPECT_TRUE(d.write(1, 0x8 | 0x2)); // TCK high: a pulse
    EXPECT_TRUE(d.write(1, 0x8));
    EXPECT_TRUE(d.write(1, 0x10));      // the reload request: recorded, not counted
    EXPECT_EQ(work.recorder.writes, 3u);
    EXPECT_EQ(work.ledger.events, 2u);
    EXPECT_EQ(work.ledger.pulses, 1u);
    EXPECT_TRUE(d.write(1));
    EXPECT_TRUE(d.write(1));
    EXPECT_FALSE(d.write(1));
    EXPECT_EQ(d.last, StopReason::Budget);
    EXPECT_EQ(work.ledger.events, 5u);
}

TEST(WorkCheck, TheReferenceStopsPastThePlayedEndAtAnAbandonedRunsCountAndAtTheBudget)
{
    struct Case {
        const char* what;
        bool abandoned;
        std::vector<std::uint32_t> consumed; // reader position at each write
        int writes_through;                   // writes before the stop (all: no stop)
        bool stopped;
        StopReason stop;
        bool reached;
        bool overran;
    };
    // The played run had 3 events and a stream of 4 bytes; the budget is 6 events.
    const Case cases[] = {
        {"past the played end", false, {1, 4, 5, 5}, 2, true, StopReason::RanOut, false, false},
        {"past the played end after as much work", false, {1, 2, 3, 5}, 3, true, StopReason::RanOut, true, false},
        {"more work inside the stream, marked", false, {1, 2, 3, 4}, 4, false, {}, true, true},
        {"as far as an abandoned played run", true, {1, 2, 3, 4}, 2, true, StopReason::Matched, true, false},
        {"the budget", false, {1, 2, 3, 4, 4, 4, 4}, 5, true, StopReason::Budget, true, true},
    };
    for (const Case& c : cases) {
        ReferenceWork work;
            work.played_length = 4;
        work.played_events = 3;
        work.played_abandoned = c.abandoned;
        work.budget = 6;
        Driver d{reference_work_target(&work)};
        int through = 0;
        for (const std::uint32_t consumed : c.consumed) {
            if (!d.write(consumed)) {
                break;
            }
            ++through;
        }
        EXPECT_EQ(d.stops, c.stopped ? 1 : 0) << c.what;
        if (c.stopped) {
            EXPECT_EQ(d.last, c.stop) << c.what;
        }
        EXPECT_EQ(through, c.writes_through) << c.what;
        EXPECT_EQ(work.reached_played_events, c.reached) << c.what;
        EXPECT_EQ(work.overran, c.overran) << c.what;
    }
}

} // namespace
