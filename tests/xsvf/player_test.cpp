// Player core and command handlers, played end to end against the recording target.
#include <memory>

#include "tests/xsvf/xsvf_fixture.h"

namespace {

using PlayerTest = XsvfTest;

// The first n bits of a big-endian vector in shift order (least significant first).
std::string shift_order(const Bytes& v, std::size_t n)
{
    std::string s;
    for (std::size_t k = 0; k < n; ++k) {
        s += char('0' + ((v[v.size() - 1 - k / 8] >> (k % 8)) & 1));
    }
    return s;
}

// Lines of the log that contain `part`.
std::string lines_with(const std::string& log, const std::string& part)
{
    std::string out;
    for (std::size_t p = 0; p < log.size();) {
        const std::size_t e = log.find('\n', p) + 1;
        const std::string line = log.substr(p, e - p);
        if (line.find(part) != std::string::npos) {
            out += line;
        }
        p = e;
    }
    return out;
}

TEST_F(PlayerTest, ResultsAndErrorLinesOfShortStreams)
{
    struct Case { Bytes s; std::int32_t level; std::int32_t result; std::uint32_t read; const char* log; };
    const Case cases[] = {
        {{0}, 0, 0, 1, ""},
        {{0, 5}, 2, 0, 1, "  XCOMPLETE\n"},
        {{0}, 3, 0, 1, "   TAP State = RESET\n  XCOMPLETE\n"},
        {{5}, 0, 4, 1, "ERROR:  Encountered unsupported command #5 (Reserved5)\n"
                       "ERROR:  Unsupported XSVF command\nERROR at XSVF command #1\n"},
        {{6, 0}, 2, 4, 1, "  Reserved6\nERROR:  Encountered unsupported command #6 (Reserved6)\n"
                          "ERROR:  Unsupported XSVF command\nERROR at XSVF command #1\n"},
        {{200}, 2, 4, 1, "ERROR:  Encountered unsupported command #200 (Unknown)\n"
                         "ERROR:  Unsupported XSVF command\nERROR at XSVF command #1\n"},
        {{5}, -1, 4, 1, ""},
        // The failing third command is counted; nothing after it is read.
        {program({xrepeat(0), xstate(1), xenddr(2)}), 3, 5, 6,
         "   TAP State = RESET\n  XREPEAT\n   XREPEAT = 0\n  XSTATE\n   TAP State = RUNTEST\n  XENDDR\n"
         "ERROR:  Illegal state specification\nERROR at XSVF command #3\n"},
        {program({xstate(TAP_PAUSEDR)}), 0, 5, 2, "ERROR:  Illegal state specification\nERROR at XSVF command #1\n"},
        {program({xruntest(0x00000102), xendir(1), xenddr(0)}), 3, 0, 10,
         "   TAP State = RESET\n  XRUNTEST\n   XRUNTEST = 258\n  XENDIR\n   End State = PAUSE\n"
         "  XENDDR\n   End State = RUNTEST\n  XCOMPLETE\n"},
    };
    for (const Case& c : cases) {
        rec.events.clear();
        load(c.s);
        LogLevel = c.level;
        std::int32_t result = -1;
        const std::string log = play(&result);
        EXPECT_EQ(result, c.result) << c.log;
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(ImageReadIndex, c.read) << c.log;
        EXPECT_EQ(tms().substr(0, 5), "11111"); // every run starts with the TAP reset
    }
}

TEST_F(PlayerTest, DataRegisterLengthsAboveTheBufferAreRejectedWithoutOverflow)
{
    load(program({xsdrsize(56000), xtdomask(Bytes(7000, 0xFF))}));
    std::int32_t result = -1;
    play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ImageReadIndex, 5u + 1u + 7000u + 1u);

    LogLevel = 3;
    for (std::uint32_t bits : {56001u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFAu, 0xFFFFFFFBu,
                               0xFFFFFFFCu, 0xFFFFFFFDu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        load(program({xsdrsize(bits), xtdomask({})}));
        const std::string log = play(&result);
        EXPECT_EQ(result, ErrDataOverflow) << bits;
        EXPECT_EQ(ImageReadIndex, 5u) << bits;
        EXPECT_EQ(lines_with(log, "XSDRSIZE ="),
                  "   XSDRSIZE = " + std::to_string(static_cast<std::int32_t>(bits)) + "\n");
    }
    // A rejected length is never adopted.
    auto info = std::make_unique<SXsvfInfo>();
    info->shift_bits = 16;
    info->shift_bytes = 2;
    info->error = 0;
    LogLevel = 0;
    load(be32(0xFFFFFFF9u));
    EXPECT_EQ(cmd_sdr_size(info.get()), ErrDataOverflow);
    EXPECT_EQ(info->error, ErrDataOverflow);
    EXPECT_EQ(info->shift_bits, 16);
    EXPECT_EQ(info->shift_bytes, 2);
}

TEST_F(PlayerTest, InstructionShiftsUseTheirOwnLengthAndEndStates)
{
    LogLevel = 3;
    load(program({xendir(1), xenddr(1), xsdrsize(8), xsir(16, {0x56, 0x12}), xsdr({0x34})}));
    std::int32_t result = -1;
    const std::string log = play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lines_with(log, "ength ="), "   XSIR length = 16\n   Shift Length = 16\n   Shift Length = 8\n");
    EXPECT_EQ(tms(), "11111" "01100" "000000000000000" "10" "11100" "0000000" "10");
    EXPECT_EQ(tdi_bits(10, 16), shift_order({0x56, 0x12}, 16));
    EXPECT_EQ(tdi_bits(32, 8), shift_order({0x34}, 8));

    // 255 bits: 32 bytes, the top bit of the first one stays behind.
    Bytes v(32);
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[i] = std::uint8_t(i * 37 + 11);
    }
    rec.events.clear();
    LogLevel = 0;
    load(program({xsir(255, v)}));
    play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ImageReadIndex, 35u);
    EXPECT_EQ(tdi_bits(10, 255), shift_order(v, 255));
    EXPECT_EQ(tms().size(), 5u + 5u + 254u + 3u);

    // Length 0 shifts nothing and only waits.
    rec.events.clear();
    load(program({xruntest(50), xsir(0, {})}));
    play(&result);
    EXPECT_EQ(tms(), "11111" "0");
    EXPECT_EQ(wire().back().n, 250u);
}

TEST_F(PlayerTest, RunTestValuesWithTheTopBitSetWaitNothing)
{
    LogLevel = 3;
    load(program({xruntest(0x80000000u), xsir(8, {0x12}), xruntest(0xFFFFFFFFu), xsir(0, {})}));
    std::int32_t result = -1;
    const std::string log = play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lines_with(log, "XRUNTEST ="), "   XRUNTEST = -2147483648\n   XRUNTEST = -1\n");
    for (const WireEvent& e : wire()) {
        EXPECT_EQ(e.kind, 'P');
    }
}

TEST_F(PlayerTest, BeginContinueEndShiftsOneLongScanAndTdoFormsIgnoreRetries)
{
    load(program({xsdrsize(8), xsdrb({0x01}), xsdrc({0x02}), xsdre({0x03})}));
    std::int32_t result = -1;
    play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tms(), "11111" "0100" "00000000" "00000000" "0000000" "110");
    EXPECT_EQ(tdi_bits(9, 24), shift_order({0x03, 0x02, 0x01}, 24));

    rec.events.clear();
    rec.tdo = 1;
    LogLevel = 3;
    load(program({xrepeat(3), xruntest(1000), xsdrsize(8), xtdomask({0x00}), xsdrtdob({0x00}, {0x00})}));
    const std::string log = play(&result);
    EXPECT_EQ(result, ErrTdoMismatch);
    EXPECT_EQ(lines_with(log, "Retry") + lines_with(log, "Wait"), "");
    EXPECT_NE(log.find("ERROR at XSVF command #5\n"), std::string::npos);
}

TEST_F(PlayerTest, IncrementedShiftsAddTheAddressAndInsertTheData)
{
    LogLevel = 4;
    load(program({xsdrsize(16), xsetsdrmasks({0x00, 0x01}, {0x00, 0xF0}), xsdrinc({0x00, 0x0F}, 2, {0x0A, 0x05})}));
    std::int32_t result = -1;
    std::string log = play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lines_with(log, "Mask"), "    Address Mask = 0x0001\n    Data Mask    = 0x00f0\n");
    EXPECT_EQ(lines_with(log, "TDI"),
              "    TDI          = 0x000f\n    TDI          = 0x00a0\n    TDI          = 0x0051\n");

    // Masks of another length than the shift: only the bytes that tdi has are used.
    load(program({xsdrsize(32), xsetsdrmasks({0, 0, 0, 1}, {0x0F, 0, 0, 0}), xsdrsize(8),
                  xsdrinc({0x10}, 1, {0x05})}));
    log = play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lines_with(log, "TDI"), "    TDI          = 0x10\n    TDI          = 0x15\n");

    // A repeat count of 0 shifts once; a failing first shift leaves the count unread.
    LogLevel = 0;
    load(program({xsdrsize(8), xsdrinc({0x00}, 0, {})}));
    play(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ImageReadIndex, 5u + 3u + 1u);
    rec.tdo_script = "1111111100000000";
    load(program({xsdrsize(8), xsdrtdo({0x00}, {0xFF}), xsdrinc({0x00}, 3, {})}));
    play(&result);
    EXPECT_EQ(result, ErrTdoMismatch);
    EXPECT_EQ(ImageReadIndex, 5u + 3u + 2u);
}

TEST_F(PlayerTest, ASecondRunStartsFromAFreshRecord)
{
    load(program({xrepeat(3), xruntest(1000), xenddr(1), xsdrsize(8), xtdomask({0x00}),
                  xsdrtdo({0x00}, {0x00})}));
    std::int32_t result = -1;
    play(&result);
    ASSERT_EQ(result, 0);

    rec.events.clear();
    load(program({xsdrtdo({}, {}), xsdr({}), xsdrsize(8), xsdrtdo({0x00}, {0xFF})}));
    play(&result);
    // No retry limit carried over, and no mask: the first run's mask hid every bit, the
    // second run has none loaded, so every bit is compared.
    EXPECT_EQ(result, ErrTdoMismatch);
    EXPECT_EQ(ImageReadIndex, 1u + 1u + 5u + 3u); // no length carried over
    EXPECT_EQ(tms(), "11111" "0100" "0000000" "110"); // no wait or end state carried over
}

TEST_F(PlayerTest, EachLogLevelAddsItsOwnLines)
{
    const Bytes s = program({xrepeat(0), xruntest(0), xsir(8, {0x12}), xsdrsize(8), xtdomask({0xFF}),
                             xsdrtdo({0x00}, {0x01})});
    for (std::int32_t level = -1; level <= 4; ++level) {
        load(s);
        LogLevel = level;
        std::int32_t result = -1;
        const std::string log = play(&result);
        EXPECT_EQ(result, ErrTdoMismatch);
        bool seen[5] = {};
        for (std::size_t p = 0; p < log.size(); p = log.find('\n', p) + 1) {
            const std::size_t indent = log.find_first_not_of(' ', p) - p;
            ASSERT_LE(indent, 4u);
            seen[indent] = true;
        }
        for (std::int32_t l = 0; l <= 4; ++l) {
            EXPECT_EQ(seen[l], l <= level) << "level " << level << " lines of " << l;
        }
    }
}

} // namespace
