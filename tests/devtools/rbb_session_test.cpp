// The server's side of the remote-bitbang protocol: which register accesses each character
// makes on the card, and where a session stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devtools/xsvf/rbb_session.h"
#include "sim/recording_target.h"

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

    void SetUp() override { rbb_session_begin(&session, recording_target(&rec)); }

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
        rbb_session_begin(&session, recording_target(&rec));
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
