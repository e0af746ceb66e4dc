// Test support for the remote-bitbang server: a server with a simulated PCI card running in
// a thread, raw clients, and the clock strings of a few TAP moves.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "devtools/xsvf/rbb_server.h"
#include "sim/sim_clock.h"

// One clock pulse with the given TMS and TDI: low, high (the rising edge), low again.
inline std::string pulse(int tms, int tdi = 0)
{
    return {rbb_digit(0, tms, tdi), rbb_digit(1, tms, tdi), rbb_digit(0, tms, tdi)};
}

inline std::string pulses(const char* tms)
{
    std::string s;
    for (const char* p = tms; *p; ++p) {
        s += pulse(*p - '0');
    }
    return s;
}

// From any state: reset, then Run-Test/Idle, Select-DR, Capture-DR, Shift-DR.
inline const std::string TO_SHIFT_DR = pulses("11111") + pulses("0100");

// Reads the 32-bit register in Shift-DR: 'R' before each bit's pulse, as the player does.
inline std::string read_32()
{
    std::string s;
    for (int i = 0; i < 32; ++i) {
        s += "R" + pulse(i == 31 ? 1 : 0);
    }
    return s + pulses("10");
}

inline std::uint32_t bits_to_word(const std::string& answers)
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
        rbb_close(server.listener);
        std::fclose(log);
        sim_clock_use_host_time(false);
    }

    void start(int sessions = 0)
    {
        std::string why;
        server.listener = rbb_listen(&server.address, &why);
        ASSERT_NE(server.listener, RBB_NO_SOCKET) << why;
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
