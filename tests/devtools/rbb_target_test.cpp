// The remote-bitbang client as the card behind the signal port: the characters each port
// operation becomes, the real time that waits take on the far side, and a server that breaks
// the connection. A small server in a thread records what arrives and answers 'R'.
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
            for (long i = 0; i < n && !done; ++i) {
                if (buffer[i] == 'R') {
                    if (hang_up_at_read) {
                        done = true;
                        break;
                    }
                    const char bit = tdo[answered++ % tdo.size()];
                    done = !rbb_send_all(client, &bit, 1, 5000, &why);
                }
                done = done || buffer[i] == 'Q';
            }
        }
        rbb_close(client);
    }

    void join()
    {
        if (thread.joinable()) {
            thread.join();
        }
        rbb_close_listener(listener, address);
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
    EXPECT_EQ(target.syncs, 0u);
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
    EXPECT_EQ(server.received(), want + "RQ");
    EXPECT_EQ(target.syncs, 0u); // a repeated low write that starts a pulse is no busy-wait pass
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
    EXPECT_EQ(target.syncs, 2u);
    EXPECT_GE(server.between(3, 4), std::chrono::microseconds(50));
    EXPECT_GE(server.between(7, 8), std::chrono::milliseconds(3));
    EXPECT_GE(target.waited_ns, 3050000u);
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
