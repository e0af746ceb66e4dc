// Bad input against the remote-bitbang server: unknown characters, binary noise, a client
// that vanishes mid-shift or in Run-Test/Idle, ten megabytes of '0' or of sleep characters, a
// client that reads no answers. Each ends that session only, with a report, and the next client finds the card
// intact.
#include <random>

#include "tests/devtools/rbb_server_fixture.h"

namespace {

TEST_F(RbbServerTest, AnUnknownCharacterClosesThatConnectionOnlyWithAMessage)
{
    start(3);
    const RbbSocket s = client();
    EXPECT_EQ(talk(s, "0R2X6R", 1), "1"); // TDO reads 1 outside Shift-DR
    EXPECT_TRUE(closed_by_server(s));
    rbb_close(s);
    const RbbSocket t = client();
    talk(t, "04\xff", 0);
    EXPECT_TRUE(closed_by_server(t));
    rbb_close(t);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: byte 0x58 ('X') at offset 3 is not a remote-bitbang character; "
                        "connection closed"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("session 2 ended: byte 0xff at offset 2 is not"), std::string::npos) << text;
    EXPECT_NE(text.find("session 3 ended: Q"), std::string::npos) << text;
    EXPECT_TRUE(card_untouched());
}

TEST_F(RbbServerTest, BinaryNoiseIsRefusedAtItsFirstForeignByte)
{
    start(2);
    std::mt19937 random(11);
    std::string noise(65536, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random() & 0xFF);
    }
    const RbbSocket s = client();
    std::string why;
    rbb_send_all(s, noise.data(), noise.size(), 2000, &why); // may fail once the server has closed
    EXPECT_TRUE(closed_by_server(s));
    rbb_close(s);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("is not a remote-bitbang character; connection closed"), std::string::npos) << text;
    EXPECT_TRUE(card_untouched());
}

TEST_F(RbbServerTest, AClientThatVanishesMidShiftLeavesTheTapResetAndTheCardIntact)
{
    start(2);
    const RbbSocket s = client();
    // Into Shift-IR and three bits of an instruction, then gone.
    talk(s, pulses("11111") + pulses("01100") + pulse(0, 1) + pulse(0, 0) + pulse(0, 1), 0);
    rbb_close(s);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: the client went away without Q"), std::string::npos) << text;
    EXPECT_NE(text.find("left the TAP in IRSHIFT (a shift cut off); returned it to RESET"), std::string::npos)
        << text;
    EXPECT_TRUE(card_untouched());
}

TEST_F(RbbServerTest, AnOperationLeftInRunTestIdleIsFinishedAtOnceAndReported)
{
    start(1);
    const RbbSocket s = client();
    // ENABLE (0x10, needs 110 ms in Run-Test/Idle) shifted and updated, then Run-Test/Idle,
    // then gone at once: the server's reset leaves Run-Test/Idle far too early.
    std::string bytes = pulses("11111") + pulses("01100");
    for (int i = 0; i < 8; ++i) {
        bytes += pulse(i == 7 ? 1 : 0, (0x10 >> i) & 1);
    }
    bytes += pulses("10");
    talk(s, bytes, 0);
    rbb_close(s);
    finish();
    const std::string text = log_text();
    // Normally far too early: a short dwell. On a machine so busy that 110 ms pass before the
    // server sees the client go, the mode changes; either way the report says so.
    const bool short_dwell = card->device.counters.short_dwells == 1;
    EXPECT_NE(text.find(std::string("left the TAP in IDLE; returned it to RESET, which carried out what the client "
                                    "had set up: 0 sectors erased, 0 rows programmed, 0 fetches, ") +
                        (short_dwell ? "0 mode changes, 1 short dwells" : "1 mode changes, 0 short dwells")),
              std::string::npos)
        << text;
    EXPECT_EQ(card->device.mode, short_dwell ? LogicMode::Off : LogicMode::Program);
}

TEST_F(RbbServerTest, TenMegabytesOfZeroesAreTakenAndTheNextReadIsAnswered)
{
    start(1);
    const RbbSocket s = client();
    const std::string flood(10 * 1024 * 1024, '0');
    EXPECT_EQ(talk(s, flood + "R", 1), "1");
    talk(s, "Q", 0);
    rbb_close(s);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: Q; 10485762 characters, 0 TCK cycles, 1 TDO reads"), std::string::npos)
        << text;
}

// Ten megabytes of sleeps would be three hours of sleeping: the server sleeps not at all, only
// the card's clock moves on, and the next read is answered as quickly as after '0'.
TEST_F(RbbServerTest, TenMegabytesOfSleepCharactersAreTakenWithoutSleeping)
{
    const std::uint64_t before = sim_clock_now_ns();
    start(1);
    const RbbSocket s = client();
    std::string flood(10 * 1024 * 1024, 'Z');
    for (std::size_t i = 1; i < flood.size(); i += 2) {
        flood[i] = 'z';
    }
    EXPECT_EQ(talk(s, flood + "R", 1), "1");
    talk(s, "Q", 0);
    rbb_close(s);
    finish();
    EXPECT_GE(sim_clock_now_ns() - before, 5242880u * 1001000u); // the card's clock took them all
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: Q; 10485762 characters, 0 TCK cycles, 1 TDO reads, 5242880 sleeps of 1 ms "
                        "and 5242880 of 1 us; "),
              std::string::npos)
        << text;
    EXPECT_TRUE(card_untouched());
}

TEST_F(RbbServerTest, AClientThatReadsNoAnswersIsDroppedAndTheNextIsServed)
{
    start(2);
    const RbbSocket s = client();
    const std::string reads(1024 * 1024, 'R');
    std::string why;
    bool sending = true;
    for (int i = 0; i < 64 && sending; ++i) {
        sending = rbb_send_all(s, reads.data(), reads.size(), 1500, &why);
    }
    EXPECT_FALSE(sending) << "the server kept taking 'R' that nobody reads";
    rbb_close(s);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("answering failed: the peer read nothing"), std::string::npos) << text;
}

} // namespace
