// The stream walker of the xsvf tool, which plays the stream with the player against a card that
// answers as the stream expects: operand layouts, and where it stops on a bad stream.
#include <gtest/gtest.h>

#include <vector>

#include "devtools/xsvf/stream_walk.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StreamWalk, FollowsEveryOperandLayout)
{
    const Bytes stream = {
        7, 0,                      // XREPEAT 0
        8, 0, 0, 0, 12,            // XSDRSIZE 12 bits: 2 bytes
        1, 0x0F, 0xFF,             // XTDOMASK
        9, 0x01, 0x02, 0x03, 0x04, // XSDRTDO TDI, expected
        2, 9, 0xAB, 0xCD,          // XSIR 9 bits: 2 bytes
        4, 0, 0, 1, 2,             // XRUNTEST 258
        10, 0, 1, 0x00, 0x0F,      // XSETSDRMASKS address, data (4 one bits)
        11, 0x00, 0x00, 2, 0x05, 0x06, // XSDRINC TDI, 2 blocks of 1 byte
        12, 1, 1, 13, 2, 2, 14, 3, 3,  // XSDRB/C/E
        15, 1, 1, 1, 1, 18, 1, 19, 1, 20, 0, // XSDRTDOB, XSTATE, XENDIR, XENDDR
        0,
    };
    const WalkedStream w = xsvf_walk_all(stream);
    ASSERT_TRUE(w.result.ok) << w.result.error;
    EXPECT_EQ(w.result.commands, 16);
    ASSERT_EQ(w.commands.size(), 16u);
    EXPECT_EQ(w.commands[1].value, 12u);
    EXPECT_EQ(w.commands[3].vectors.size(), 2u);
    EXPECT_EQ(w.commands[3].vectors[1].offset, 13u);
    EXPECT_EQ(w.commands[4].value, 9u);
    EXPECT_EQ(w.commands[4].vectors[0].length, 2u);
    EXPECT_EQ(w.commands[5].value, 258u);
    EXPECT_EQ(w.commands[7].repeat_count, 2u);
    EXPECT_EQ(w.commands[7].vectors.size(), 3u);
    EXPECT_EQ(w.commands[7].size, 6u);
    EXPECT_EQ(w.commands.back().offset, stream.size() - 1);
}

TEST(StreamWalk, StopsAtTheFirstFaultWithThePlayersResultAndCommandNumber)
{
    struct Case {
        const char* what;
        Bytes stream;
        std::int32_t result;
        std::uint32_t offset;
        int command;
        std::uint32_t played; // bytes the player reads
    };
    const Case cases[] = {
        {"empty", {}, ErrStreamEnded, 0, 1, 0},
        {"no XCOMPLETE", {7, 0}, ErrStreamEnded, 2, 2, 2},
        {"truncated word", {7, 0, 4, 0, 0}, ErrStreamEnded, 2, 2, 3},
        {"truncated vector", {8, 0, 0, 0, 16, 1, 0xFF}, ErrStreamEnded, 5, 2, 6},
        {"XSIR without its length", {2}, ErrStreamEnded, 0, 1, 1},
        {"XSDRINC short of its blocks", {8, 0, 0, 0, 8, 10, 0, 0xFF, 11, 0, 2, 1}, ErrStreamEnded, 8, 3, 9},
        {"reserved opcode", {7, 0, 5, 0}, ErrUnsupportedCommand, 2, 2, 3},
        {"unknown opcode", {21, 0}, ErrUnsupportedCommand, 0, 1, 1},
        {"XSDRSIZE over the limit", {8, 0, 0, 0xDA, 0xC1, 0}, ErrDataOverflow, 0, 1, 5},
        {"XSDRSIZE near 2^32", {8, 0xFF, 0xFF, 0xFF, 0xF9, 0}, ErrDataOverflow, 0, 1, 5},
        {"XENDDR 2", {20, 2, 0}, ErrIllegalState, 0, 1, 2},
        {"XSTATE to Pause-DR from Test-Logic-Reset", {18, 0x12, 0}, ErrIllegalState, 0, 1, 2},
        {"XSTATE of a byte that names no state", {7, 0, 18, 0x05, 0}, ErrIllegalState, 2, 2, 4},
        // The walk's card answers every compare as expected, except where no card can: an
        // expected bit above the shifted ones (6 bits, all 8 compared by XSDRTDOB).
        {"an expected value no card shifts out", {8, 0, 0, 0, 6, 15, 0, 0xC0, 0}, ErrTdoMismatch, 5, 2, 8},
        // XENDDR 1 leaves a data shift in Pause-DR, but a wait moves it on to Run-Test/Idle.
        {"XSTATE to Pause-DR after a shift with a wait",
         {20, 1, 4, 0, 0, 0, 1, 8, 0, 0, 0, 8, 3, 0, 18, 0x12, 0}, ErrIllegalState, 14, 5, 16},
    };
    for (const Case& c : cases) {
        const WalkedStream w = xsvf_walk_all(c.stream);
        EXPECT_FALSE(w.result.ok) << c.what;
        EXPECT_EQ(w.result.result, c.result) << c.what;
        EXPECT_EQ(w.result.error_offset, c.offset) << c.what;
        EXPECT_EQ(w.result.error_command, c.command) << c.what;
        EXPECT_EQ(w.result.bytes_played, c.played) << c.what;
        EXPECT_FALSE(w.result.error.empty()) << c.what;
    }
}

TEST(StreamWalk, AcceptsWhatThePlayerPlays)
{
    struct Case {
        const char* what;
        Bytes stream;
        std::uint32_t trailing;
    };
    const Case cases[] = {
        // Masks of 32 bits, then an 8-bit XSDRINC: the block has a bit per 1 bit of the
        // whole data mask, and only the mask bytes that TDI has are used.
        {"XSDRINC with a longer data mask", {8, 0, 0, 0, 32, 10, 0, 0, 0, 1, 0x0F, 0, 0, 0, 8, 0, 0, 0, 8, 11, 0x10, 1, 5, 0},
         0},
        {"bytes after XCOMPLETE", {0, 0, 5}, 2},
        {"XSTATE to Pause-DR from Shift-DR", {8, 0, 0, 0, 8, 12, 0, 18, 0x12, 0}, 0},
        {"XSTATE to Pause-IR after XSIR ending there", {19, 1, 2, 1, 0, 18, 0x22, 0}, 0},
        // XSIR of no bits moves nothing, so the TAP is still in Shift-DR.
        {"XSTATE after XSIR of no bits", {8, 0, 0, 0, 8, 12, 0, 2, 0, 18, 0x12, 0}, 0},
    };
    for (const Case& c : cases) {
        const WalkedStream w = xsvf_walk_all(c.stream);
        EXPECT_TRUE(w.result.ok) << c.what << ": " << w.result.error;
        EXPECT_EQ(w.result.result, ErrNone) << c.what;
        EXPECT_EQ(w.result.trailing, c.trailing) << c.what;
        EXPECT_EQ(w.result.bytes_played, c.stream.size() - c.trailing) << c.what;
    }
}

TEST(StreamWalk, AcceptsTheLongestDataRegister)
{
    Bytes stream = {8, 0, 0, 0xDA, 0xC0, 3};  // 56000 bits, XSDR of 7000 bytes
    stream.resize(stream.size() + 7000, 0x55);
    stream.push_back(0);
    const WalkedStream w = xsvf_walk_all(stream);
    ASSERT_TRUE(w.result.ok) << w.result.error;
    EXPECT_EQ(w.commands[1].vectors[0].length, 7000u);
}

} // namespace
