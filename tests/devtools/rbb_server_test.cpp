// The remote-bitbang server with a simulated card, over real sockets: a client reads the
// card's identity; bad input, a client that vanishes mid-shift or in Run-Test/Idle, floods of
// characters and a client that reads no answers each end that session only, with a report,
// and the next client finds the card intact.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "devtools/xsvf/rbb_server.h"
#include "devtools/xsvf/rbb_session.h"
#include "sim/sim_clock.h"

namespace {

// One clock pulse with the given TMS and TDI: low, high (the rising edge), low again.
std::string pulse(int tms, int tdi = 0)
{
    return {rbb_digit(0, tms, tdi), rbb_digit(1, tms, tdi), rbb_digit(0, tms, tdi)};
}

std::string pulses(const char* tms)
{
    std::string s;
    for (const char* p = tms; *p; ++p) {
        s += pulse(*p - '0');
    }
    return s;
}

// From any state: reset, then Run-Test/Idle, Select-DR, Capture-DR, Shift-DR.
const std::string TO_SHIFT_DR = pulses("11111") + pulses("0100");

// Reads the 32-bit register in Shift-DR: 'R' before each bit's pulse, as the player does.
std::string read_32()
{
    std::string s;
    for (int i = 0; i < 32; ++i) {
        s += "R" + pulse(i == 31 ? 1 : 0);
    }
    return s + pulses("10");
}

std::uint32_t bits_to_word(const std::string& answers)
{
    std::uint32_t w = 0;
    for (std::size_t i = 0; i < answers.size() && i < 32; ++i) {
        w |= static_cast<std::uint32_t>(answers[i] == '1') << i;
    }
    return w;
}

class RbbServerTest : public ::testing::Test {
protected:
    std::unique_ptr<SimCard> card = std::make_unique<SimCard>();
    RbbServer server;
    volatile std::sig_atomic_t stop = 0;
    std::thread thread;
    std::FILE* log = std::tmpfile();

    void SetUp() override
    {
        sim_card_power_on(card.get(), CARD_MODEL_PCI, 0);
        sim_clock_use_host_time(true);
        server.card = card.get();
        server.log = log;
        server.reply_timeout_ms = 500;
        server.address.host = "127.0.0.1";
        server.address.port = 0;
    }
    void TearDown() override
    {
        stop = 1;
        if (thread.joinable()) {
            thread.join();
        }
        rbb_server_close(&server);
        std::fclose(log);
        sim_clock_use_host_time(false);
    }

    void start(int sessions = 0)
    {
        std::string why;
        ASSERT_TRUE(rbb_server_open(&server, &why)) << why;
        thread = std::thread([this, sessions] { rbb_server_run(&server, sessions, &stop); });
    }
    // Waits for the server thread to end after the given number of sessions.
    void finish()
    {
        thread.join();
    }

    RbbSocket client()
    {
        std::string why;
        const RbbSocket s = rbb_connect(server.address, &why);
        EXPECT_NE(s, RBB_NO_SOCKET) << why;
        return s;
    }
    // Sends bytes and collects `answers` answer bytes; then sends the rest and closes.
    std::string talk(RbbSocket s, const std::string& bytes, std::size_t answers)
    {
        std::string why;
        EXPECT_TRUE(rbb_send_all(s, bytes.data(), bytes.size(), 5000, &why)) << why;
        std::string got;
        while (got.size() < answers) {
            char buffer[4096];
            const long n = rbb_receive(s, buffer, sizeof buffer, 5000, &why);
            if (n <= 0 && n != RBB_RECEIVE_TIMEOUT) {
                break;
            }
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return got;
    }
    // True when the server closed the connection (after any answers it still had).
    static bool closed_by_server(RbbSocket s)
    {
        std::string why;
        for (int i = 0; i < 100; ++i) {
            char buffer[4096];
            const long n = rbb_receive(s, buffer, sizeof buffer, 100, &why);
            if (n == RBB_RECEIVE_CLOSED || n == RBB_RECEIVE_ERROR) {
                return true;
            }
        }
        return false;
    }
    std::string log_text()
    {
        std::fflush(log);
        std::rewind(log);
        std::string text;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, log)) > 0) {
            text.append(buffer, n);
        }
        return text;
    }
    // One session that reads the identity and quits; the IDCODE it read.
    std::uint32_t read_identity()
    {
        const RbbSocket s = client();
        const std::string answers = talk(s, TO_SHIFT_DR + read_32() + "Q", 32);
        rbb_close(s);
        return bits_to_word(answers);
    }
    bool card_untouched() const
    {
        const LogicCounters& c = card->device.counters;
        return c.sector_erases == 0 && c.rows_programmed == 0 && c.fetches == 0 &&
               !sim_card_holds_configuration(card.get(), CARD_MODEL_PCI);
    }
};

TEST_F(RbbServerTest, AClientReadsTheCardsIdentityAndQuits)
{
    start(1);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    const std::string text = log_text();
    EXPECT_NE(text.find("session 1 ended: Q;"), std::string::npos) << text;
    EXPECT_NE(text.find("32 TDO reads"), std::string::npos) << text;
    EXPECT_EQ(card->device.state, LogicTapState::TestLogicReset);
    EXPECT_TRUE(card_untouched());
}

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

TEST_F(RbbServerTest, StoppingEndsAnIdleSessionAndTheLoop)
{
    start(0);
    const RbbSocket s = client();
    talk(s, "0", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop = 1;
    finish();
    EXPECT_TRUE(closed_by_server(s));
    rbb_close(s);
    EXPECT_NE(log_text().find("session 1 ended: the server is stopping"), std::string::npos);
}

#ifndef _WIN32
TEST_F(RbbServerTest, UnixSocketInATempDirectoryReplacesAStaleOneAndRefusesOtherFiles)
{
    char dir_template[] = "/tmp/rbb_test_XXXXXX";
    const char* dir = mkdtemp(dir_template);
    ASSERT_NE(dir, nullptr);
    const std::string path = std::string(dir) + "/card.sock";

    // A regular file at the path is refused.
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    server.address.unix_socket = true;
    server.address.path = path;
    std::string why;
    EXPECT_FALSE(rbb_server_open(&server, &why));
    EXPECT_NE(why.find("is not a socket"), std::string::npos) << why;
    std::remove(path.c_str());

    // A socket file nobody listens on is replaced.
    RbbAddress stale = server.address;
    const RbbSocket old = rbb_listen(&stale, &why);
    ASSERT_NE(old, RBB_NO_SOCKET) << why;
    rbb_close(old);
    start(1);
    EXPECT_EQ(read_identity(), 0x14D010FFu);
    finish();
    rbb_server_close(&server);
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0); // removed on close
    std::remove(dir);
}
#endif

} // namespace
