// The command set against the handlers: every handler reads exactly the operands its row
// lays out, only rows that compare can fail on TDO, and a state byte outside a row's list is
// refused before anything is clocked.
#include <memory>

#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/shift.h"

namespace {

using CommandSetTest = XsvfTest;

// A data-register length of 2 bytes, a mask, an expected value of 0 and a data mask of four 1
// bits (XSDRINC blocks of one byte), then one command of every opcode.
const Bytes PREFIX = program({xsdrsize(16), xtdomask({0xFF, 0xFF}), xsdrtdo({0, 0}, {0, 0}),
                              xsetsdrmasks({0, 1}, {0, 0xF0})});
constexpr int PREFIX_COMMANDS = 4;

Bytes sample(std::uint8_t opcode)
{
    switch (opcode) {
    case XTDOMASK: return xtdomask({0xFF, 0xFF});
    case XSIR: return xsir(12, {0x0A, 0xBC});
    case XSDR: return xsdr({1, 2});
    case XRUNTEST: return xruntest(7);
    case XREPEAT: return xrepeat(0);
    case XSDRSIZE: return xsdrsize(16);
    case XSDRTDO: return xsdrtdo({1, 2}, {0, 0});
    case XSETSDRMASKS: return xsetsdrmasks({0, 1}, {0, 0xF0});
    case XSDRINC: return xsdrinc({1, 2}, 2, {0x0A, 0x05});
    case XSDRB: return xsdrb({1, 2});
    case XSDRC: return xsdrc({1, 2});
    case XSDRE: return xsdre({1, 2});
    case XSDRTDOB: return xsdrtdob({1, 2}, {0, 0});
    case XSDRTDOC: return xsdrtdoc({1, 2}, {0, 0});
    case XSDRTDOE: return xsdrtdoe({1, 2}, {0, 0});
    case XSTATE: return xstate(1);
    case XENDIR: return xendir(1);
    case XENDDR: return xenddr(0);
    default: return {opcode};
    }
}

struct Stepped {
    std::int32_t error;
    std::uint32_t bytes_read; // by the command under test, opcode included
    std::uint32_t laid_out;   // what its row lays out, opcode included
};

// Plays the prefix, then the sample of `opcode` with TDO held at `tdo`.
Stepped step_sample(RecordingTarget* rec, std::uint8_t opcode, std::uint32_t tdo)
{
    Bytes s = PREFIX;
    s.pop_back(); // the prefix's XCOMPLETE
    const Bytes command = sample(opcode);
    s.insert(s.end(), command.begin(), command.end());
    s.push_back(XCOMPLETE);
    auto info = std::make_unique<SXsvfInfo>();
    SelectedImage = s.data();
    SelectedImageLength = static_cast<std::uint32_t>(s.size());
    ImageReadIndex = 0;
    rec->tdo = 0;
    player_init(info.get());
    for (int i = 0; i < PREFIX_COMMANDS; ++i) {
        player_step(info.get());
    }
    EXPECT_EQ(info->error, ErrNone);
    const std::uint32_t start = ImageReadIndex;
    const std::span<const std::uint8_t> rest(s.data() + start + 1, s.size() - start - 1);
    const std::uint32_t laid_out = 1 + cmd_operand_bytes(cmd_row(opcode).shape, 2, 1, rest);
    rec->tdo = tdo;
    player_step(info.get());
    return {info->error, ImageReadIndex - start, laid_out};
}

TEST_F(CommandSetTest, EveryHandlerReadsTheOperandsItsRowLaysOut)
{
    LogLevel = -1;
    for (const SXsvfCommand& c : XSVF_COMMANDS) {
        const Stepped s = step_sample(&rec, c.opcode, 0);
        EXPECT_EQ(s.error, c.supported ? ErrNone : ErrUnsupportedCommand) << c.name;
        EXPECT_EQ(s.bytes_read, s.laid_out) << c.name;
        EXPECT_EQ(s.bytes_read, sample(c.opcode).size()) << c.name;
    }
}

TEST_F(CommandSetTest, OnlyTheRowsThatCompareFailOnTdo)
{
    LogLevel = -1;
    int compared = 0;
    for (const SXsvfCommand& c : XSVF_COMMANDS) {
        if (!c.supported) {
            continue;
        }
        // Every expected bit is 0 and every mask bit set: TDO held at 1 differs everywhere.
        const Stepped s = step_sample(&rec, c.opcode, 1);
        EXPECT_EQ(s.error, c.compares ? ErrTdoMismatch : ErrNone) << c.name;
        compared += c.compares ? 1 : 0;
    }
    EXPECT_EQ(compared, 6); // XSDR, XSDRTDO, XSDRINC and XSDRTDOB/C/E
}

TEST_F(CommandSetTest, ShiftsWaitAndEndAsTheCommandSetDefines)
{
    // With the end states at the pauses and a wait of 7 microseconds (35 writes of control
    // word 0): the last pulses' TMS tell where each shift ended.
    struct Case {
        std::uint8_t opcode;
        bool waits;
        const char* tail;
    };
    const Case cases[] = {
        {XSIR, true, "10110"},     // Exit1, Pause-IR; Exit2, Update, Run-Test/Idle for the wait
        {XSDR, true, "10110"},     {XSDRTDO, true, "10110"}, {XSDRINC, true, "10110"},
        {XSDRB, false, "00"},      // the last bit clocked, and the TAP stays in Shift-DR
        {XSDRC, false, "00"},      {XSDRTDOB, false, "00"},  {XSDRTDOC, false, "00"},
        {XSDRE, false, "010"},     // the last bit, then Exit1, Pause-DR; no wait
        {XSDRTDOE, false, "010"},
    };
    LogLevel = -1;
    int shifting_rows = 0;
    for (const SXsvfCommand& c : XSVF_COMMANDS) {
        shifting_rows += c.shifts != ShiftRegister::NoShift ? 1 : 0;
    }
    EXPECT_EQ(shifting_rows, static_cast<int>(std::size(cases)));
    for (const Case& c : cases) {
        const char* name = cmd_row(c.opcode).name;
        rec.events.clear();
        load(program({xendir(1), xenddr(1), xruntest(7), xsdrsize(16), xtdomask({0, 0}),
                      xsetsdrmasks({0, 1}, {0, 0xF0}), sample(c.opcode)}));
        std::int32_t result = -1;
        play(&result);
        EXPECT_EQ(result, ErrNone) << name;
        const std::vector<WireEvent> w = wire();
        EXPECT_EQ(!w.empty() && w.back().kind == 'D' && w.back().n == 35, c.waits) << name;
        const std::string t = tms();
        const std::string tail = c.tail;
        EXPECT_EQ(t.substr(t.size() - tail.size()), tail) << name << ": " << t;
    }
}

TEST_F(CommandSetTest, AStateByteOutsideTheRowsListFailsBeforeAnyClock)
{
    struct Case {
        Bytes command;
        std::int32_t result;
        const char* tms; // the run's reset, then what the command clocked
    };
    const Case cases[] = {
        {xstate(0x05), ErrIllegalState, "11111"},
        {xstate(0xFF), ErrIllegalState, "11111"},
        {xstate(0x02), ErrIllegalState, "11111"},
        {xstate(0x04), ErrIllegalState, "11111"},
        {xstate(0x16), ErrIllegalState, "11111"},
        {xenddr(2), ErrIllegalState, "11111"},
        {xendir(0x24), ErrIllegalState, "11111"},
        // The six codes move as before.
        {xstate(0x00), ErrNone, "1111111111"},
        {xstate(0x01), ErrNone, "111110"},
        {xstate(0x14), ErrNone, "11111" "0100"},
        {xstate(0x24), ErrNone, "11111" "01100"},
        {xstate(0x12), ErrIllegalState, "11111"}, // a pause, not reachable from Test-Logic-Reset
        {xstate(0x22), ErrIllegalState, "11111"},
    };
    for (const Case& c : cases) {
        rec.events.clear();
        load(program({c.command}));
        std::int32_t result = -1;
        const std::string log = play(&result);
        EXPECT_EQ(result, c.result) << int(c.command[1]);
        EXPECT_EQ(tms(), c.tms) << int(c.command[1]);
        EXPECT_EQ(log, c.result == ErrNone ? "" : "ERROR:  Illegal state specification\nERROR at XSVF command #1\n")
            << int(c.command[1]);
    }
    // Every byte that names none of the six states, after a command that left the TAP in Shift-DR.
    for (unsigned byte = 0; byte < 256; ++byte) {
        TapState named = 0;
        if (cmd_state_named(cmd_row(XSTATE), static_cast<std::uint8_t>(byte), &named)) {
            continue;
        }
        rec.events.clear();
        load(program({xsdrsize(8), xsdrb({1}), xstate(static_cast<std::uint8_t>(byte))}));
        LogLevel = -1;
        std::int32_t result = -1;
        play(&result);
        EXPECT_EQ(result, ErrIllegalState) << byte;
        EXPECT_EQ(tms(), "11111" "0100" "0000000" "0") << byte; // reset, to Shift-DR, 8 bits; no more
    }
}

} // namespace
