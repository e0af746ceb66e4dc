// The server's side of the remote-bitbang protocol: which register accesses each character
// makes on the card, the time each gives the card's clock, and where a session stops.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "devtools/xsvf/rbb_server.h"
#include "sim/recording_target.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "tests/devtools/rbb_server_fixture.h"

namespace {

using Events = std::vector<RecordedEvent>;

// The four control-word writes of one line change.
Events change(std::uint32_t word)
{
    return {{'W', 0x100, word}, {'W', 0x104, word}, {'W', 0x108, word}, {'W', 0x10C, word}};
}

Events join(std::initializer_list<Events> parts)
{
    Events all;
    for (const Events& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

class RbbSessionTest : public ::testing::Test {
protected:
    RecordingTarget rec;
    RbbSession session;
    std::string answers;

    void SetUp() override
    {
        session = RbbSession{.card = recording_target(&rec)};
        sim_clock_use_host_time(false);
        sim_clock_reset();
    }
    void TearDown() override
    {
        sim_clock_use_host_time(false);
        sim_clock_reset();
    }

    std::size_t feed(const std::string& bytes)
    {
        std::vector<char> reply(bytes.size() + 1);
        std::size_t n = 0;
        const std::size_t used = rbb_session_feed(&session, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                  bytes.size(), reply.data(), &n);
        answers.append(reply.data(), n);
        return used;
    }
};

TEST_F(RbbSessionTest, DigitsSetTckTmsTdiFromBitsTwoOneZeroAsThePortWritesThem)
{
    // Digit bit 2 is TCK (word bit 1), bit 1 TMS (word bit 0), bit 0 TDI (word bit 2); bit 3,
    // the buffer enable, is in every word.
    EXPECT_EQ(feed("0421"), 4u);
    EXPECT_EQ(rec.events, join({change(0x08), change(0x0A), change(0x09), change(0x0C)}));
    EXPECT_EQ(rbb_control_word('7'), 0x0Fu);
    EXPECT_EQ(rbb_control_word('6'), 0x0Bu);
    EXPECT_EQ(rbb_control_word('5'), 0x0Eu);
    EXPECT_EQ(rbb_control_word('3'), 0x0Du);
    EXPECT_EQ(rbb_digit(1, 0, 0), '4');
    EXPECT_EQ(rbb_digit(0, 1, 0), '2');
    EXPECT_EQ(rbb_digit(0, 0, 1), '1');
    EXPECT_EQ(rbb_digit(1, 1, 1), '7');
}

TEST_F(RbbSessionTest, RepeatedDigitsWriteNothingAndRisingEdgesAreCounted)
{
    feed("0000444400004");
    EXPECT_EQ(rec.events, join({change(0x08), change(0x0A), change(0x08), change(0x0A)}));
    EXPECT_EQ(session.tck_cycles, 2u);
    feed("5"); // TCK stays high, TDI changes: no new edge
    EXPECT_EQ(session.tck_cycles, 2u);
    EXPECT_EQ(session.received, 14u);
}

TEST_F(RbbSessionTest, ReadAnswersBit28OfTheStatusWord)
{
    rec.tdo_script = "0110";
    feed("0R2RR6R");
    EXPECT_EQ(answers, "0110");
    EXPECT_EQ(session.reads, 4u);
    std::size_t reads = 0;
    for (const RecordedEvent& e : rec.events) {
        if (e.kind == 'R') {
            EXPECT_EQ(e.offset, 0u);
            ++reads;
        }
    }
    EXPECT_EQ(reads, 4u);
}

TEST_F(RbbSessionTest, LedAndResetCharactersAreAcceptedWithoutAnyAccess)
{
    EXPECT_EQ(feed("BbrstuBb"), 8u);
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(session.state, RbbSessionState::Open);
}

TEST_F(RbbSessionTest, EachCharacterGivesTheCardsClockItsTimeAndSleepsAreCounted)
{
    struct Case { const char* bytes; std::uint32_t tck_hz; std::uint64_t ns; std::uint64_t ms; std::uint64_t us; };
    const Case cases[] = {
        {"0404", 1000000, 2000, 0, 0},
        {"0000", 1000000, 2000, 0, 0},        // a digit that changes nothing holds the lines too
        {"RBbrstu", 1000000, 0, 0, 0},        // only digits and sleeps take time
        {"ZzZ", 1000000, 2001000, 2, 1},
        {"04ZzQ0Z", 1000000, 1002000, 1, 1},  // nothing after Q
        {"0404", 0, 0, 0, 0},                 // the host clock: characters take no time of their own
        {"ZzZ", 0, 2001000, 2, 1},            // but the sleeps count as dwell there as well
        {"04", 3, 333333333, 0, 0},           // a third of a second, rounded down...
        {"040", 3, 500000000, 0, 0},          // ...without losing the fractions
        {"04", 1, 1000000000, 0, 0},
    };
    for (const Case& c : cases) {
        sim_clock_reset();
        session = RbbSession{.card = recording_target(&rec), .tck_hz = c.tck_hz};
        feed(c.bytes);
        EXPECT_EQ(sim_clock_now_ns(), c.ns) << c.bytes << " at " << c.tck_hz;
        EXPECT_EQ(session.sleeps_ms, c.ms) << c.bytes;
        EXPECT_EQ(session.sleeps_us, c.us) << c.bytes;
    }
    rec.events.clear();
    session = RbbSession{.card = recording_target(&rec), .tck_hz = 1000000};
    EXPECT_EQ(feed("ZzZz"), 4u);
    EXPECT_TRUE(rec.events.empty()); // sleeps make no access
    EXPECT_EQ(session.received, 4u);
}

TEST(RbbHalfPeriods, ExactFractionsAndSaturation)
{
    constexpr std::uint64_t NEVER = std::numeric_limits<std::uint64_t>::max();
    struct Case { std::uint64_t half_periods; std::uint32_t tck_hz; std::uint64_t ns; };
    const Case cases[] = {
        {0, 1000000, 0},
        {1, 1000000, 500},
        {1, 3, 166666666},
        {2, 3, 333333333},
        {7, 3, 1166666666},
        {1, 4294967295u, 0},
        {2 * 4294967295ull, 4294967295u, 1000000000},
        {NEVER, 4294967295u, 2147483648500000000ull}, // 2^64 - 1 half-periods of the fastest clock
        {2 * 18446744072ull, 1, 18446744072000000000ull}, // the last whole second that fits
        {2 * 18446744073ull, 1, NEVER},
        {NEVER, 1, NEVER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rbb_half_periods_ns(c.half_periods, c.tck_hz), c.ns) << c.half_periods << " at " << c.tck_hz;
    }
}

TEST(RbbClock, TimeGivenSaturatesRatherThanWraps)
{
    sim_clock_use_host_time(false);
    sim_clock_reset();
    sim_clock_give_ns(std::numeric_limits<std::uint64_t>::max() - 5);
    sim_clock_give_ns(10);
    EXPECT_EQ(sim_clock_now_ns(), std::numeric_limits<std::uint64_t>::max());
    sim_clock_reset();
    EXPECT_EQ(sim_clock_now_ns(), 0u);
}

// ENABLE needs 110 ms in Run-Test/Idle. From the rising edge that enters it to the one that
// leaves, a virtual clock counts three digits (1.5 us at 1 MHz, 3 us at 500 kHz) and the
// sleeps: the verdict turns at the exact boundary. On the host clock the sleeps alone make
// the dwell, though the server never sleeps.
TEST(RbbSessionDwell, SleepCharactersMakeTheDwellOnEitherClock)
{
    struct Case { std::uint32_t tck_hz; int ms; int us; bool done; };
    const Case cases[] = {
        {1000000, 109, 998, false}, {1000000, 109, 999, true},
        {500000, 109, 996, false}, {500000, 109, 997, true},
        {0, 110, 0, true},
    };
    for (const Case& c : cases) {
        sim_clock_use_host_time(c.tck_hz == 0);
        sim_clock_reset();
        SimCard card;
        sim_card_power_on(&card, CARD_MODEL_PCI, 0);
        RbbSession session{.card = sim_card_target(&card), .tck_hz = c.tck_hz};
        std::string bytes = pulses("11111") + pulses("01100");
        for (int i = 0; i < 8; ++i) {
            bytes += pulse(i == 7 ? 1 : 0, (0x10 >> i) & 1); // ENABLE
        }
        bytes += pulses("10") + std::string(static_cast<std::size_t>(c.ms), 'Z') +
                 std::string(static_cast<std::size_t>(c.us), 'z') + pulse(1);
        char reply[1];
        std::size_t answers = 0;
        rbb_session_feed(&session, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), reply, &answers);
        EXPECT_EQ(card.device.mode, c.done ? LogicMode::Program : LogicMode::Off) << c.tck_hz << " " << c.us;
        EXPECT_EQ(card.device.counters.short_dwells, c.done ? 0u : 1u) << c.tck_hz << " " << c.us;
    }
    sim_clock_use_host_time(false);
    sim_clock_reset();
}

TEST_F(RbbSessionTest, QuitEndsTheSessionAndNothingAfterItActs)
{
    EXPECT_EQ(feed("04Q0R7"), 3u);
    EXPECT_EQ(session.state, RbbSessionState::Quit);
    EXPECT_EQ(rec.events, join({change(0x08), change(0x0A)}));
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(feed("0"), 0u); // a closed session takes nothing more
}

TEST_F(RbbSessionTest, AnyOtherByteIsRefusedBeforeItActsAndStopsTheSession)
{
    for (const std::uint8_t bad : {std::uint8_t{'8'}, std::uint8_t{'\n'}, std::uint8_t{0}, std::uint8_t{0xFF},
                                   std::uint8_t{'q'}, std::uint8_t{'v'}, std::uint8_t{'S'}, std::uint8_t{' '}}) {
        rec.events.clear();
        answers.clear();
        session = RbbSession{.card = recording_target(&rec)};
        std::string bytes = "04R";
        bytes += static_cast<char>(bad);
        bytes += "0R";
        EXPECT_EQ(feed(bytes), 4u) << int(bad);
        EXPECT_EQ(session.state, RbbSessionState::Refused);
        EXPECT_EQ(session.refused, bad);
        EXPECT_EQ(session.received, 3u); // the offset of the refused byte
        EXPECT_EQ(answers.size(), 1u);
        EXPECT_EQ(rec.events.size(), 9u); // two changes and one read; nothing after the refusal
    }
}

TEST_F(RbbSessionTest, TheServersTapResetIsFiveTmsHighEdgesEvenAfterQuit)
{
    feed("05Q");
    rec.events.clear();
    rbb_session_reset_tap(&session);
    Events want;
    for (int i = 0; i < 5; ++i) {
        want = join({want, change(0x09), change(0x0B)});
    }
    EXPECT_EQ(rec.events, join({want, change(0x09)}));
}

TEST_F(RbbSessionTest, EndReleasesTheLinesOnceAndOnlyWhenTheSessionDroveThem)
{
    rbb_session_end(&session);
    EXPECT_TRUE(rec.events.empty());
    feed("6");
    rec.events.clear();
    rbb_session_end(&session);
    EXPECT_EQ(rec.events, (Events{{'W', 0x100, 0}}));
    rbb_session_end(&session);
    EXPECT_EQ(rec.events.size(), 1u);
}

} // namespace
