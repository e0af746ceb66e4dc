// A stream that ends before XCOMPLETE: a command whose operands run past the end fails
// before it clocks the TAP or writes a register, and the log says where the stream ended.
#include <algorithm>
#include <memory>

#include "tests/xsvf/xsvf_fixture.h"

namespace {

using StreamEndTest = XsvfTest;

// Where each command of a complete stream begins, and how many register accesses the
// player had made before it, found by stepping the player through the stream.
struct CommandStart {
    std::uint32_t offset;
    std::size_t events;
};

std::vector<CommandStart> command_starts(const RecordingTarget& rec)
{
    std::vector<CommandStart> starts;
    auto info = std::make_unique<SXsvfInfo>();
    player_init(info.get());
    while (info->error == ErrNone && info->complete == 0) {
        starts.push_back({ImageReadIndex, rec.events.size()});
        player_step(info.get());
    }
    EXPECT_EQ(info->error, ErrNone);
    return starts;
}

TEST_F(StreamEndTest, EveryTruncationStopsBeforeTheCutCommandTouchesTheCard)
{
    const Bytes full = every_command_program();
    load(full);
    const std::vector<CommandStart> starts = command_starts(rec);
    ASSERT_EQ(starts.size(), 19u); // every supported command
    const std::vector<RecordedEvent> full_events = rec.events;
    ASSERT_EQ(starts.back().offset, full.size() - 1);

    std::size_t k = 0; // index of the command that holds byte n
    for (std::uint32_t n = 0; n < full.size(); ++n) {
        while (k + 1 < starts.size() && starts[k + 1].offset <= n) {
            ++k;
        }
        SCOPED_TRACE("cut after " + std::to_string(n) + " bytes");
        rec.events.clear();
        load(Bytes(full.begin(), full.begin() + std::ptrdiff_t(n)));
        std::int32_t result = -1;
        const std::string log = play(&result);
        EXPECT_EQ(result, ErrStreamEnded);

        // The pin trace is exactly the complete run's up to the cut command's start.
        ASSERT_EQ(rec.events.size(), starts[k].events);
        EXPECT_TRUE(std::equal(rec.events.begin(), rec.events.end(), full_events.begin()));

        const std::string number = std::to_string(k + 1);
        const bool inside = n > starts[k].offset;
        const std::string where =
            inside ? "ERROR:  XSVF stream ends inside command #" + number + " (" +
                         player_command_name(full[starts[k].offset]) + ")\n"
                   : "ERROR:  XSVF stream ends before command #" + number + ", without XCOMPLETE\n";
        EXPECT_EQ(log, where + "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #" + number + "\n");
        // Only the opcode of the cut command was read.
        EXPECT_EQ(ImageReadIndex, inside ? starts[k].offset + 1 : n);
    }
}

TEST_F(StreamEndTest, CutOperandsAreNeverInventedNorReadAsAnOpcode)
{
    struct Case {
        const char* what;
        Bytes stream;
        std::int32_t level;
        std::string log;
    };
    const Case cases[] = {
        {"empty stream", {}, 0,
         "ERROR:  XSVF stream ends before command #1, without XCOMPLETE\n"
         "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #1\n"},
        // 56,000 bits and a bare XSDRINC: no TDI, no repeat count, so nothing is shifted.
        {"XSDRSIZE 56000, bare XSDRINC", {8, 0, 0, 0xDA, 0xC0, 11}, 2,
         "  XSDRSIZE\n  XSDRINC\nERROR:  XSVF stream ends inside command #2 (XSDRINC)\n"
         "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #2\n"},
        // The repeat count asks for 200 data blocks of one byte; one is there.
        {"XSDRINC blocks", unterminated({xsdrsize(8), xsetsdrmasks({0}, {0xFF}), xsdrinc({0}, 200, {1})}), 0,
         "ERROR:  XSVF stream ends inside command #3 (XSDRINC)\n"
         "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #3\n"},
        {"XSIR length byte only", {2, 255, 1, 2}, 0,
         "ERROR:  XSVF stream ends inside command #1 (XSIR)\n"
         "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #1\n"},
        {"XENDDR without its operand", {7, 0, 20}, 0,
         "ERROR:  XSVF stream ends inside command #2 (XENDDR)\n"
         "ERROR:  XSVF stream ended before XCOMPLETE\nERROR at XSVF command #2\n"},
    };
    for (const Case& c : cases) {
        rec.events.clear();
        load(c.stream);
        LogLevel = c.level;
        std::int32_t result = -1;
        EXPECT_EQ(play(&result), c.log) << c.what;
        EXPECT_EQ(result, ErrStreamEnded) << c.what;
        EXPECT_EQ(tms(), "11111") << c.what; // the run's reset and nothing else
        EXPECT_LE(ImageReadIndex, c.stream.size()) << c.what;
    }
}

TEST_F(StreamEndTest, BytesAfterXCompleteAreNeverRead)
{
    Bytes s = every_command_program();
    const std::size_t complete = s.size();
    s.insert(s.end(), {11, 0xFF, 0xFF, 5}); // a cut XSDRINC and a reserved opcode
    load(s);
    std::int32_t result = -1;
    EXPECT_EQ(play(&result), "");
    EXPECT_EQ(result, ErrNone);
    EXPECT_EQ(ImageReadIndex, complete);
}

TEST_F(StreamEndTest, OperandCheckFollowsTheRecordsLengths)
{
    auto info = std::make_unique<SXsvfInfo>();
    LogLevel = -1;
    load({});
    player_init(info.get());
    info->shift_bytes = 3;
    info->data_mask.count = 2;
    info->data_mask.data[0] = 0x01;
    info->data_mask.data[1] = 0xFF; // 9 ones: 2-byte data blocks
    struct Case {
        std::uint8_t opcode;
        Bytes operands;
        bool present;
    };
    const Case cases[] = {
        {XCOMPLETE, {}, true},       {5, {}, true},
        {XTDOMASK, {1, 2}, false},   {XTDOMASK, {1, 2, 3}, true},
        {XSDRTDO, Bytes(5), false},  {XSDRTDO, Bytes(6), true},
        {XSETSDRMASKS, Bytes(5), false}, {XSDRTDOE, Bytes(6), true},
        {XRUNTEST, {0, 0, 1}, false}, {XSDRSIZE, {0, 0, 0, 1}, true},
        {XSTATE, {}, false},         {XENDIR, {1}, true},
        {XSIR, {}, false},           {XSIR, {9, 1}, false},
        {XSIR, {9, 1, 2}, true},     {XSIR, {0}, true},
        {XSDRINC, {0, 0, 0}, false}, {XSDRINC, {0, 0, 0, 0}, true},
        {XSDRINC, {0, 0, 0, 2, 1, 2, 3}, false}, {XSDRINC, {0, 0, 0, 2, 1, 2, 3, 4}, true},
    };
    for (const Case& c : cases) {
        load(c.operands);
        info->command = c.opcode;
        EXPECT_EQ(cmd_operands_present(info.get()), c.present)
            << player_command_name(c.opcode) << " with " << c.operands.size() << " bytes";
        EXPECT_EQ(ImageReadIndex, 0u); // looked at, not read
    }
}

} // namespace
