// The remote-bitbang client as the card behind the signal port: the characters each port
// operation becomes, the reads of a shift answered in one round trip, the waits (real time
// on the host, sleep characters, or TCK cycles), and a server that breaks the connection. A
// small server in a thread records what arrives and answers 'R'.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "card/driver.h"
#include "card/port.h"
#include "devtools/xsvf/rbb_target.h"
#include "platform/os.h"
#include "platform/regs.h"
#include "sim/sim_platform.h"
#include "xsvf/shift.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Arrival {
    std::string bytes;
    Clock::time_point when;
};

// Accepts one client, records every chunk with its arrival time, answers each 'R' from
// `tdo` (repeating), stops at 'Q' or when the client goes. With hang_up_at_read it closes
// the connection at the first 'R' instead of answering.
struct RecordingServer {
    RbbAddress address;
    RbbSocket listener = RBB_NO_SOCKET;
    std::string tdo = "1";
    bool hang_up_at_read = false;
    bool answer_singly = false; // each answer in a send of its own
    std::vector<Arrival> arrivals;
    std::thread thread;

    void start()
    {
        address.host = "127.0.0.1";
        address.port = 0;
        std::string why;
        listener = rbb_listen(&address, &why);
        ASSERT_NE(listener, RBB_NO_SOCKET) << why;
        thread = std::thread([this] { run(); });
    }

    void run()
    {
        std::string why;
        RbbSocket client = RBB_NO_SOCKET;
        for (int i = 0; i < 50 && client == RBB_NO_SOCKET; ++i) {
            client = rbb_accept(listener, 100, &why);
        }
        std::size_t answered = 0;
        bool done = client == RBB_NO_SOCKET;
        while (!done) {
            char buffer[65536];
            const long n = rbb_receive(client, buffer, sizeof buffer, 5000, &why);
            if (n <= 0) {
                break;
            }
            arrivals.push_back({std::string(buffer, static_cast<std::size_t>(n)), Clock::now()});
            // The answers to the 'R's of one chunk go back in one send, or one send each.
            std::string answers;
            for (long i = 0; i < n && !done; ++i) {
                if (buffer[i] == 'R') {
                    if (hang_up_at_read) {
                        done = true;
                        break;
                    }
                    answers += tdo[answered++ % tdo.size()];
                }
                done = buffer[i] == 'Q';
            }
            for (std::size_t k = 0; k < answers.size() && !done; k += answer_singly ? 1 : answers.size()) {
                done = !rbb_send_all(client, answers.data() + k, answer_singly ? 1 : answers.size() - k, 5000, &why);
            }
        }
        rbb_close(client);
    }

    void join()
    {
        if (thread.joinable()) {
            thread.join();
        }
        rbb_close(listener);
        listener = RBB_NO_SOCKET;
    }

    std::string received() const
    {
        std::string all;
        for (const Arrival& a : arrivals) {
            all += a.bytes;
        }
        return all;
    }

    // Time from the arrival of the chunk holding byte `from` to that holding byte `to`.
    std::chrono::nanoseconds between(std::size_t from, std::size_t to) const
    {
        Clock::time_point a{};
        Clock::time_point b{};
        std::size_t offset = 0;
        for (const Arrival& x : arrivals) {
            if (from >= offset && from < offset + x.bytes.size()) {
                a = x.when;
            }
            if (to >= offset && to < offset + x.bytes.size()) {
                b = x.when;
            }
            offset += x.bytes.size();
        }
        return b - a;
    }
};

class RbbTargetTest : public ::testing::Test {
protected:
    RecordingServer server;
    RbbTarget target;

    void SetUp() override
    {
        SimConfig c;
        c.card_count = 1;
        sim_configure(c);
        PortShadow = PORT_SHADOW_INITIAL;
    }
    void TearDown() override { server.join(); }

    void connect()
    {
        server.start();
        std::string why;
        ASSERT_TRUE(rbb_target_connect(&target, server.address, &why)) << why;
        sim_attach_target(0, rbb_target(&target));
        sim_map_directly(0);
    }
    // Samples n TDO bits, bit i into byte i / 8 at bit i % 8. The answers owed are stored
    // into the vector's buffer at the collect; returning the vector does not move it.
    static std::vector<std::uint8_t> sample_bits(std::size_t n)
    {
        std::vector<std::uint8_t> bytes(n / 8);
        for (std::size_t i = 0; i < n; ++i) {
            port_sample_tdo(&bytes[i / 8], static_cast<int>(i % 8));
        }
        return bytes;
    }
    // Finishes the session and waits for the server to have seen all of it.
    bool finish()
    {
        const bool ok = rbb_target_finish(&target);
        server.join();
        return ok;
    }
};

TEST_F(RbbTargetTest, PortOperationsBecomeOneDigitPerLineChangeAndReadsBecomeR)
{
    connect();
    server.tdo = "1";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE); // buffers on, lines low
    port_set_tms(1);
    port_pulse_tck();
    port_set_tdi(1);
    port_set_tms(0);
    port_pulse_tck();
    EXPECT_EQ(port_read_tdo(), 1);
    reg_write(RegisterPointer, PORT_RELOAD_REQUEST); // buffers off: every line low
    EXPECT_TRUE(finish());
    EXPECT_EQ(server.received(), "0262151R0Q");
    EXPECT_EQ(target.tck_cycles, 2u);
    EXPECT_EQ(target.reads, 1u);
}

TEST_F(RbbTargetTest, PulsesWithUnchangedLinesAreNoWaitAndAreBatched)
{
    connect();
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    port_set_tms(1);
    for (int i = 0; i < 1000; ++i) {
        port_pulse_tck();
    }
    port_read_tdo();
    EXPECT_TRUE(finish());
    std::string want = "0";
    for (int i = 0; i < 1000; ++i) {
        want += i == 0 ? "262" : "62";
    }
    EXPECT_EQ(server.received(), want + "RQ"); // a repeated low write that starts a pulse is no busy-wait pass
    EXPECT_LE(server.arrivals.size(), 3u) << "2002 bytes should travel in one batch";
}

TEST_F(RbbTargetTest, BusyWaitsAndSleepsPassInRealTimeAfterTheServerHasActed)
{
    connect();
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    port_pulse_tck();        // "040"
    port_wait_us(50);        // 250 busy-wait passes: 'R', then 50 us
    port_set_tms(1);
    port_pulse_tck();        // "262"
    port_wait_us(3000);      // a sleep of 3 ms: 'R', then 3 ms
    port_set_tms(0);
    port_pulse_tck();        // "040"
    EXPECT_TRUE(finish());
    const std::string got = server.received();
    ASSERT_EQ(got, "040R262R040Q");
    EXPECT_GE(server.between(3, 4), std::chrono::microseconds(50));
    EXPECT_GE(server.between(7, 8), std::chrono::milliseconds(3));
    EXPECT_GE(target.waited_ns, 3050000u);
}

// The samples of a shift go out as 'R' in the stream and their answers come back in one go
// when the shift ends; a plain read in between takes the answers owed before its own.
TEST_F(RbbTargetTest, TheReadsOfAShiftAreAnsweredInOneRoundTrip)
{
    connect();
    server.tdo = "11010001101010";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    VectorBuffer tdi{};
    tdi.count = 2;
    tdi.data[0] = 0x00;
    tdi.data[1] = 0x00;
    VectorBuffer captured{};
    shift_only(12, &tdi, &captured);
    EXPECT_EQ(target.round_trips, 1u);
    EXPECT_EQ(target.reads, 12u);
    // Bit i of the shift lands at bit i % 8 of byte count - 1 - i / 8.
    EXPECT_EQ(captured.data[1], 0x8Bu); // 1,1,0,1,0,0,0,1
    EXPECT_EQ(captured.data[0], 0x05u); // 1,0,1,0
    std::uint8_t late = 0;
    port_sample_tdo(&late, 3);  // owed...
    EXPECT_EQ(port_read_tdo(), 0); // ...and taken before the plain read's own answer
    EXPECT_EQ(late, 0x08);
    EXPECT_EQ(target.round_trips, 2u);
    EXPECT_TRUE(finish());
    std::string want = "0";
    for (int i = 0; i < 12; ++i) {
        want += i == 0 ? "R" : "40R";
    }
    EXPECT_EQ(server.received(), want + "RRQ");
}

TEST_F(RbbTargetTest, NoMoreThan4096AnswersAreEverOwed)
{
    connect();
    server.tdo = "10";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    std::vector<std::uint8_t> bytes = sample_bits(5000);
    EXPECT_EQ(target.round_trips, 1u); // the first 4096, taken without a collect
    port_collect_tdo();
    EXPECT_EQ(target.round_trips, 2u);
    for (const std::uint8_t b : bytes) {
        ASSERT_EQ(b, 0x55u);
    }
    EXPECT_TRUE(finish());
}

TEST_F(RbbTargetTest, AnswersArrivingOneByOneMakeOneRoundTrip)
{
    server.answer_singly = true;
    connect();
    server.tdo = "10";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    std::vector<std::uint8_t> bytes = sample_bits(200);
    port_collect_tdo();
    EXPECT_EQ(target.round_trips, 1u);
    for (const std::uint8_t b : bytes) {
        ASSERT_EQ(b, 0x55u);
    }
    EXPECT_TRUE(finish());
}

// With the waits in the stream, a busy wait of N us is N 'z' and a sleep of N ms N 'Z'
// (the port rounds waits of 1 ms and more up to whole milliseconds); nothing passes on the
// host and nothing is asked. As TCK cycles at 1 MHz, each microsecond is one cycle with TMS
// and TDI as they were.
TEST_F(RbbTargetTest, WaitsTravelInTheStreamAsSleepCharactersOrTckCycles)
{
    struct Case { RbbWaits waits; std::uint32_t hz; std::int32_t us; int tdi; std::string stream; };
    const Case cases[] = {
        {RbbWaits::SleepCharacters, 0, 50, 0, std::string(50, 'z')},
        {RbbWaits::SleepCharacters, 0, 999, 0, std::string(999, 'z')},
        {RbbWaits::SleepCharacters, 0, 1000, 0, "Z"},
        {RbbWaits::SleepCharacters, 0, 2001, 0, "ZZZ"},
        {RbbWaits::TckCycles, 1000000, 3, 0, "404040"},
        {RbbWaits::TckCycles, 1000000, 2, 1, "5151"},
        {RbbWaits::TckCycles, 2000000, 2, 0, "40404040"},
        {RbbWaits::TckCycles, 3, 1000, 0, "40"}, // a fraction of a cycle is rounded up
    };
    for (const Case& c : cases) {
        server = RecordingServer{};
        target = RbbTarget{};
        target.waits = c.waits;
        target.cycle_hz = c.hz;
        PortShadow = PORT_SHADOW_INITIAL;
        connect();
        reg_write(RegisterPointer, PORT_JTAG_ENABLE);
        port_set_tdi(static_cast<std::uint32_t>(c.tdi));
        port_pulse_tck();
        port_wait_us(c.us);
        port_pulse_tck();
        EXPECT_TRUE(finish());
        const std::string before = c.tdi ? "0151" : "040";
        const std::string after = c.tdi ? "51" : "40"; // the low write repeats the lines: no digit
        EXPECT_EQ(server.received(), before + c.stream + after + "Q") << c.us;
        EXPECT_EQ(target.waited_ns, 0u);
        EXPECT_EQ(target.waits_total, 1u);
        EXPECT_EQ(target.wait_ns, c.us < 1000 ? std::uint64_t(c.us) * 1000 : (std::uint64_t(c.us) + 999) / 1000 * 1000000);
    }
}

TEST_F(RbbTargetTest, WithTheBuffersOffTdoReadsOneUnasked)
{
    connect();
    server.tdo = "0";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    EXPECT_EQ(port_read_tdo(), 0);
    reg_write(RegisterPointer, PORT_RELOAD_REQUEST);
    EXPECT_EQ(port_read_tdo(), 1);
    EXPECT_TRUE(finish());
    EXPECT_EQ(server.received(), "0RQ");
}

// Only TDO is owed; a sample of another bit of the status word is a plain read, answered at once.
TEST_F(RbbTargetTest, ASampleOfAnotherStatusBitIsAPlainRead)
{
    connect();
    server.tdo = "1";
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    std::uint8_t sample = 0xFF;
    reg_read_bit(RegisterPointer - (PORT_CONTROL_WORD_0 - PORT_STATUS_WORD), PORT_TDO_BIT - 1, &sample, 2);
    EXPECT_EQ(target.round_trips, 1u);
    EXPECT_EQ(sample, 0xFBu);
    EXPECT_TRUE(finish());
    EXPECT_EQ(server.received(), "0RQ");
}

TEST_F(RbbTargetTest, AServerThatHangsUpIsAnErrorAndNothingIsSentAfterIt)
{
    server.hang_up_at_read = true;
    connect();
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    port_set_tms(1);
    port_pulse_tck();
    EXPECT_EQ(port_read_tdo(), 1);
    EXPECT_FALSE(target.error.empty());
    port_pulse_tck();
    port_wait_us(2000); // no wait once the connection is gone
    EXPECT_LT(target.waited_ns, 1000000u);
    EXPECT_FALSE(finish());
    EXPECT_EQ(server.received(), "0262R");
}

TEST_F(RbbTargetTest, AServerThatHangsUpWhileAnswersAreOwedLeavesThemAllOne)
{
    server.hang_up_at_read = true;
    connect();
    reg_write(RegisterPointer, PORT_JTAG_ENABLE);
    std::vector<std::uint8_t> bytes = sample_bits(16);
    port_collect_tdo();
    EXPECT_EQ(bytes[0], 0xFFu);
    EXPECT_EQ(bytes[1], 0xFFu);
    EXPECT_FALSE(target.error.empty());
    std::uint8_t after = 0;
    port_sample_tdo(&after, 5); // answered 1 at once, nothing sent
    EXPECT_EQ(after, 0x20u);
    EXPECT_FALSE(finish());
}

TEST(RbbTargetConnect, NobodyListeningIsAFailureWithAReason)
{
    RbbAddress free_port;
    free_port.host = "127.0.0.1";
    std::string why;
    const RbbSocket s = rbb_listen(&free_port, &why);
    ASSERT_NE(s, RBB_NO_SOCKET) << why;
    rbb_close(s);
    RbbTarget t;
    EXPECT_FALSE(rbb_target_connect(&t, free_port, &why));
    EXPECT_FALSE(why.empty());
}

TEST(RbbAddressParse, HostPortAndUnixPaths)
{
    RbbAddress a;
    std::string why;
    ASSERT_TRUE(rbb_parse_address("localhost:3335", &a, &why));
    EXPECT_FALSE(a.unix_socket);
    EXPECT_EQ(a.host, "localhost");
    EXPECT_EQ(a.port, 3335);
    ASSERT_TRUE(rbb_parse_address("[::1]:9", &a, &why));
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(rbb_address_text(a), "[::1]:9");
    ASSERT_TRUE(rbb_parse_address("unix:/tmp/card.sock", &a, &why));
    EXPECT_TRUE(a.unix_socket);
    EXPECT_EQ(a.path, "/tmp/card.sock");
    EXPECT_EQ(rbb_address_text(a), "unix:/tmp/card.sock");
    for (const char* bad : {"localhost", ":3335", "host:", "host:0", "host:65536", "host:-1", "host:12x", "unix:",
                            "host:+5"}) {
        EXPECT_FALSE(rbb_parse_address(bad, &a, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
    EXPECT_FALSE(rbb_parse_address(("unix:/" + std::string(200, 'a')).c_str(), &a, &why));
}

} // namespace
