// The VCD writer: the file is parsed back and the clock edges it shows are checked against
// what the player is known to do: the reset, one instruction shift, the retry detour of a
// failing compare, and the limits of a command range.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "card/port.h"
#include "devtools/xsvf/stream_walk.h"
#include "devtools/xsvf/vcd_writer.h"
#include "sim/recording_target.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/update.h"

namespace {

// The values of every signal after one time stamp's changes.
struct Moment {
    std::uint64_t time = 0;
    std::map<std::string, std::string> values;
};

struct ParsedVcd {
    std::string header;
    std::map<std::string, std::string> names; // id -> name
    std::vector<Moment> moments;
};

ParsedVcd parse_vcd(const std::string& text)
{
    ParsedVcd p;
    std::istringstream in(text);
    std::string line;
    bool body = false;
    Moment now;
    bool have_time = false;
    while (std::getline(in, line)) {
        if (!body) {
            p.header += line + "\n";
            std::istringstream w(line);
            std::string tag, type, size, id, name;
            if (w >> tag >> type >> size >> id >> name && tag == "$var") {
                p.names[id] = name;
            }
            body = line == "$enddefinitions $end";
            continue;
        }
        if (line.empty() || line == "$dumpvars" || line == "$end") {
            continue;
        }
        if (line[0] == '#') {
            if (have_time) {
                p.moments.push_back(now);
            }
            const std::uint64_t t = std::stoull(line.substr(1));
            EXPECT_TRUE(!have_time || t > now.time) << "time stamps must increase: " << line;
            now.time = t;
            have_time = true;
            continue;
        }
        std::string value, id;
        if (line[0] == 's' || line[0] == 'b') {
            const std::size_t blank = line.find(' ');
            value = line.substr(1, blank - 1);
            id = line.substr(blank + 1);
        } else {
            value = line.substr(0, 1);
            id = line.substr(1);
        }
        EXPECT_EQ(p.names.count(id), 1u) << "unknown id in " << line;
        now.values[p.names[id]] = value;
    }
    if (have_time) {
        p.moments.push_back(now);
    }
    return p;
}

// One rising TCK edge as the dump shows it: the lines, and the TAP state before and after.
struct Edge {
    std::uint64_t time;
    char tms;
    char tdi;
    std::string before;
    std::string after;
    std::string command;
};

std::vector<Edge> rising_edges(const ParsedVcd& p)
{
    std::vector<Edge> edges;
    std::string tck = "0";
    std::string state;
    for (const Moment& m : p.moments) {
        const std::string now_tck = m.values.at("tck");
        if (now_tck == "1" && tck == "0") {
            edges.push_back({m.time, m.values.at("tms")[0], m.values.at("tdi")[0], state, m.values.at("tap_state"),
                             m.values.at("command")});
        }
        tck = now_tck;
        state = m.values.at("tap_state");
    }
    return edges;
}

std::string states_of(const std::vector<Edge>& edges, std::size_t from = 0)
{
    std::string s;
    for (std::size_t i = from; i < edges.size(); ++i) {
        s += (s.empty() ? "" : " ") + edges[i].after;
    }
    return s;
}

class VcdWriterTest : public ::testing::Test {
protected:
    RecordingTarget rec;
    VcdWriter vcd;
    Bytes stream;

    void SetUp() override
    {
        SimConfig c;
        c.card_count = 1;
        sim_configure(c);
        PortShadow = PORT_SHADOW_INITIAL;
        LogLevel = -1;
        rec.store = false;
    }
    void TearDown() override { LogLevel = 0; }

    // Plays the stream through the VCD writer in front of the recorder; returns the file.
    std::string play(const Bytes& program, int first = 0, int last = 1000000, std::int32_t* result = nullptr)
    {
        stream = program;
        std::FILE* f = vcd.file = std::tmpfile();
        EXPECT_NE(f, nullptr);
        vcd_begin(&vcd, xsvf_command_starts(stream), recording_target(&rec), first, last, false);
        sim_attach_target(0, vcd_target(&vcd));
        sim_map_directly(0);
        const std::int32_t r = player_run_program(stream.data(), static_cast<std::uint32_t>(stream.size()), nullptr);
        if (result) {
            *result = r;
        }
        vcd_end(&vcd);
        std::string text;
        std::rewind(f);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        std::fclose(f);
        return text;
    }
};

TEST_F(VcdWriterTest, HeaderNamesTheSignalsTheClockAndWhereTheTapStateComesFrom)
{
    const ParsedVcd p = parse_vcd(play(program({})));
    std::vector<std::string> names;
    for (const auto& [id, name] : p.names) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"tck", "tms", "tdi", "tdo", "jtag_enable", "tap_state", "command"}));
    EXPECT_NE(p.header.find("$timescale 1 ns $end"), std::string::npos);
    EXPECT_NE(p.header.find("derived from tck and tms by the TAP controller's state table"), std::string::npos);
    EXPECT_NE(p.header.find("Time: virtual, 200 ns per register write"), std::string::npos);
    ASSERT_FALSE(p.moments.empty());
    // The dump starts with the write of 8: buffers on, every line low, TDO not yet read.
    const Moment& first = p.moments.front();
    EXPECT_EQ(first.time, 0u);
    EXPECT_EQ(first.values.at("jtag_enable"), "1");
    EXPECT_EQ(first.values.at("tck"), "0");
    EXPECT_EQ(first.values.at("tdo"), "x");
    EXPECT_EQ(first.values.at("tap_state"), "UNKNOWN");
    EXPECT_EQ(first.values.at("command"), "0");
    // It ends with the write of 16: buffers off.
    EXPECT_EQ(p.moments.back().values.at("jtag_enable"), "0");
}

TEST_F(VcdWriterTest, ResetThenOneInstructionShiftLeastSignificantBitFirst)
{
    const ParsedVcd p = parse_vcd(play(program({xsir(8, {0xA5})})));
    const std::vector<Edge> e = rising_edges(p);
    ASSERT_EQ(e.size(), 5u + 5u + 8u + 2u);
    // The player's reset: five rising edges with TMS high; only the fifth makes the state known.
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(e[i].tms, '1') << i;
        EXPECT_EQ(e[i].command, "0");
        EXPECT_EQ(e[i].after, i < 4 ? "UNKNOWN" : "RESET") << i;
    }
    // Virtual time: the write of 8 at 0, the first pulse's low writes at 200 to 800, its
    // rising write at 1000; a pulse is twelve writes, 2400 ns.
    EXPECT_EQ(e[0].time, 1000u);
    EXPECT_EQ(e[1].time, 3400u);
    EXPECT_EQ(states_of(e, 5), "IDLE DRSELECT IRSELECT IRCAPTURE IRSHIFT IRSHIFT IRSHIFT IRSHIFT IRSHIFT IRSHIFT "
                               "IRSHIFT IRSHIFT IREXIT1 IRUPDATE IDLE");
    // The eight edges taken in Shift-IR carry 0xA5 from its least significant bit; the last
    // one is the TMS-high step that leaves.
    std::string tdi;
    std::string tms;
    for (const Edge& x : e) {
        if (x.before == "IRSHIFT") {
            tdi += x.tdi;
            tms += x.tms;
            EXPECT_EQ(x.command, "1");
        }
    }
    EXPECT_EQ(tdi, "10100101");
    EXPECT_EQ(tms, "00000001");
}

TEST_F(VcdWriterTest, FailingCompareTakesTheRetryDetourThroughPauseDr)
{
    rec.tdo = 1; // every captured bit 1, expected 0: each attempt mismatches
    std::int32_t result = 0;
    const ParsedVcd p = parse_vcd(play(program({xrepeat(1), xruntest(10), xsdrsize(8), xtdomask({0xFF}),
                                                xsdrtdo({0x00}, {0x00})}),
                                       0, 1000000, &result));
    EXPECT_EQ(result, ErrTdoMismatchRetries);
    const std::vector<Edge> e = rising_edges(p);
    std::string seen = states_of(e, 5);
    EXPECT_EQ(seen, "IDLE DRSELECT DRCAPTURE DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT "
                    "DREXIT1 DRPAUSE DREXIT2 DRSHIFT DREXIT1 DRUPDATE IDLE "
                    "DRSELECT DRCAPTURE DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT DRSHIFT "
                    "DREXIT1 DRUPDATE IDLE");
    // The wait after the detour has grown by a quarter: 12 us, 60 writes, between the edge
    // that entered Run-Test/Idle and the next.
    for (std::size_t i = 0; i + 1 < e.size(); ++i) {
        if (e[i].after == "IDLE" && e[i].before == "DRUPDATE") {
            EXPECT_GE(e[i + 1].time - e[i].time, 12000u) << i;
        }
    }
    // Every TDO sample the player took shows as 1; the command is the XSDRTDO, number 5.
    EXPECT_EQ(p.moments.back().values.at("tdo"), "1");
    EXPECT_EQ(e[8].command, "101");
}

TEST_F(VcdWriterTest, CommandRangeLimitsTheDumpAndStartsItsTimeAtZero)
{
    const Bytes prog = program({xsir(8, {0x01}), xsir(8, {0x02}), xsir(8, {0x03})});
    const ParsedVcd p = parse_vcd(play(prog, 2, 2));
    ASSERT_FALSE(p.moments.empty());
    EXPECT_EQ(p.moments.front().time, 0u);
    for (std::size_t i = 0; i + 1 < p.moments.size(); ++i) {
        EXPECT_EQ(p.moments[i].values.at("command"), "10") << i; // command 2, in binary
    }
    // The TAP state is known from the start: the model ran through command 1 unseen.
    EXPECT_EQ(p.moments.front().values.at("tap_state"), "IDLE");
    std::string tdi;
    for (const Edge& x : rising_edges(p)) {
        if (x.before == "IRSHIFT") {
            tdi += x.tdi;
        }
    }
    EXPECT_EQ(tdi, "01000000");
    // A range that the run never reaches leaves a file with its header only.
    const ParsedVcd none = parse_vcd(play(prog, 50, 60));
    EXPECT_TRUE(none.moments.empty());
    EXPECT_NE(none.header.find("$enddefinitions"), std::string::npos);
}

TEST(VcdRange, ParsesFirstLastAndSingleNumbersOnly)
{
    int a = -1;
    int b = -1;
    EXPECT_TRUE(vcd_parse_range("3-7", &a, &b));
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 7);
    EXPECT_TRUE(vcd_parse_range("9", &a, &b));
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, 9);
    for (const char* bad : {"7-3", "-3", "3-", "3-7x", "x", "", "3--7", "+3", "3-+7", "99999999999"}) {
        EXPECT_FALSE(vcd_parse_range(bad, &a, &b)) << bad;
    }
}

} // namespace
