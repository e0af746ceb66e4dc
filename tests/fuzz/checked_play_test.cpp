// Checked plays of real streams, and the comparison of a played run with its reference.
#include <gtest/gtest.h>

#include "fuzz/checked_play.h"
#include "tests/xsvf/xsvf_fixture.h"

namespace {

CheckedPlayOptions options(std::int32_t level, const char* tdo, std::uint64_t budget = PLAY_BUDGET)
{
    CheckedPlayOptions o;
    o.log_level = level;
    o.tdo = tdo;
    o.budget = budget;
    return o;
}

TEST(CheckedPlay, ACompleteStreamPassesAtEveryLogLevelWithEveryTdoPattern)
{
    const Bytes s = every_command_program();
    for (std::int32_t level = -1; level <= 4; ++level) {
        for (const char* tdo : {"0", "1", "0010111"}) {
            const PlayReport r = checked_play(s, options(level, tdo));
            EXPECT_EQ(r.finding, "") << level << " " << tdo;
            EXPECT_FALSE(r.abandoned);
            EXPECT_FALSE(r.reference_ran_out);
            if (*tdo == '0' && tdo[1] == '\0') {
                EXPECT_EQ(r.result, ErrNone) << level;
                EXPECT_EQ(r.bytes_read, s.size());
            } else {
                EXPECT_NE(r.result, ErrNone) << level << " " << tdo;
                EXPECT_EQ(r.failed_command, 9) << level << " " << tdo; // the XSDRTDO
            }
            EXPECT_EQ(r.log_lines == 0, level < 0 || (level < 2 && r.result == ErrNone)) << level << " " << tdo;
        }
    }
}

TEST(CheckedPlay, EveryCutOfAStreamEndsWithoutWorkAfterTheEnd)
{
    const Bytes whole = every_command_program();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        for (std::int32_t level : {0, 3}) {
            const PlayReport r = checked_play(cut, options(level, "0"));
            EXPECT_EQ(r.finding, "") << n << " bytes, level " << level;
            EXPECT_EQ(r.result, ErrStreamEnded) << n;
        }
    }
    // A cut-off XSDRINC that the reference begins with a long wait before it reads its count,
    // and the 6-byte stream that once shifted 256 x 56000 invented bits.
    for (const Bytes& cut : {Bytes{0x04, 0x00, 0x01, 0xad, 0xb0, 0x0b}, Bytes{0x08, 0x00, 0x00, 0xda, 0xc0, 0x0b}}) {
        const PlayReport r = checked_play(cut, options(0, "0"));
        EXPECT_EQ(r.finding, "");
        EXPECT_EQ(r.result, ErrStreamEnded);
        EXPECT_EQ(r.events, 61u); // the enable write and the first TAP reset, nothing else
    }
}

TEST(CheckedPlay, RetriesWaitsAndRepeatsStayWithinTheBounds)
{
    const Bytes streams[] = {
        // A compare that never matches: 4 attempts with busy waits and growing waits.
        program({xrepeat(3), xruntest(0x303), xsdrsize(3), xtdomask({3}), xsdrtdo({3}, {3})}),
        // An XSDRINC without data bits: 4 shifts after its count, no reads between them.
        program({xruntest(0x303), xsdrsize(8), xsetsdrmasks({1}, {0}), xsdrinc({1}, 3, {})}),
        // The longest instruction, retried data shifts with sleeps, and a 255-fold XSDRINC.
        program({xrepeat(255), xruntest(1000), xsir(255, Bytes(32, 0xA5)), xsdrsize(16), xtdomask({0, 1}),
                 xsdrtdo({0, 1}, {0, 1}), xsetsdrmasks({0, 0}, {0, 0}), xsdrinc({0, 0}, 255, {})}),
    };
    for (const Bytes& s : streams) {
        for (std::int32_t level : {0, 4}) {
            const PlayReport r = checked_play(s, options(level, "0"));
            EXPECT_EQ(r.finding, "") << level;
            EXPECT_FALSE(r.abandoned);
        }
    }
}

TEST(CheckedPlay, ARunBeyondItsBudgetIsAbandonedAndAgreesWithItsReferenceSoFar)
{
    const Bytes s = program({xsdrsize(56000), xsdr(Bytes(7000, 0x5A))});
    const PlayReport r = checked_play(s, options(3, "0", 10000));
    EXPECT_EQ(r.finding, "");
    EXPECT_TRUE(r.abandoned);
    EXPECT_EQ(r.events, 10000u);
    EXPECT_EQ(r.failed_command, -1);
}

TEST(CheckedPlay, TheReferenceMustAgreeWithThePlayedRun)
{
    struct Case {
        const char* what;
        PlayReport played;
        ReferenceWork ref;
        const char* finding;
    };
    auto played = [](std::int32_t result, std::uint32_t bytes, bool abandoned) {
        PlayReport p;
        p.result = result;
        p.bytes_read = bytes;
        p.abandoned = abandoned;
        p.events = 100;
        return p;
    };
    auto ref = [](bool ended, bool ran_out, bool reached, bool overran, std::uint64_t hash,
                  std::int32_t result, std::uint32_t bytes) {
        ReferenceWork o;
        o.ended = ended;
        o.ran_out = ran_out;
        o.reached_played_events = reached;
        o.overran = overran;
        o.hash_at_played_events = hash;
        o.result = result;
        o.bytes_read = bytes;
        o.ledger.events = reached ? 100 : 60;
        return o;
    };
    const std::uint64_t h = 0x1234;
    const Case cases[] = {
        {"the same success", played(0, 10, false), ref(true, false, true, false, h, 0, 10), ""},
        {"the same failure", played(2, 10, false), ref(true, false, true, false, h, 2, 10), ""},
        {"a cut-off end", played(7, 10, false), ref(false, true, true, false, h, 0, 11), ""},
        {"a cut-off command begun by the reference", played(7, 8, false), ref(false, true, true, true, h, 0, 11),
         ""},
        {"a cut-off command failed in by the reference", played(7, 8, false), ref(true, false, true, true, h, 2, 10),
         ""},
        {"a cut-off command the reference spends its budget in", played(7, 8, false),
         ref(false, false, true, true, h, 0, 10), ""},
        {"an abandoned run that matched", played(0, 5, true), ref(false, false, true, false, h, 0, 5),
         ""},
        {"work after the stream ran out", played(7, 10, false), ref(false, true, false, false, 0, 0, 11),
         "end: the card was worked after the stream ran out (played run 100 events, reference 60)"},
        {"more work than the same bytes", played(4, 10, false), ref(true, false, false, false, 0, 4, 10),
         "end: the played run did more than the same bytes in the reference"},
        {"less work than the same bytes", played(2, 10, false), ref(true, false, true, true, h, 2, 10),
         "end: the played run stopped where the same bytes go on working inside the stream"},
        {"less work, and a budget", played(2, 10, false), ref(false, false, true, true, h, 0, 10),
         "end: the played run stopped where the same bytes go on working inside the stream"},
        {"other accesses", played(0, 10, false), ref(true, false, true, false, h + 1, 0, 10),
         "end: the register accesses differ from the reference's"},
        {"a success although the stream ran out", played(0, 10, false), ref(true, true, true, false, h, 4, 11),
         "end: a stream that ran out ended with result 0"},
        {"another failure although the stream ran out", played(2, 10, false), ref(false, true, true, false, h, 0, 11),
         "end: a stream that ran out ended with result 2"},
        {"the stream's end where the reference needs no more", played(7, 10, false),
         ref(true, false, true, false, h, 0, 10), "end: result 7 after 10 bytes, the reference 0 after 10"},
        {"another result from the same bytes", played(2, 10, false), ref(true, false, true, false, h, 3, 10),
         "end: result 2 after 10 bytes, the reference 3 after 10"},
    };
    for (const Case& c : cases) {
        const std::string f = reference_finding(c.played, h, c.ref);
        EXPECT_EQ(f.substr(0, std::string(c.finding).size()), c.finding) << c.what << ": " << f;
        EXPECT_EQ(f.empty(), *c.finding == '\0') << c.what << ": " << f;
    }
}

} // namespace
