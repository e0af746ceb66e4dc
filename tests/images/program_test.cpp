// The two embedded programs: layout in the executable, command table, outline, what the two
// have in common and where they differ, and their data against the device definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "devtools/xsvf/stream_walk.h"
#include "images/image_source.h"
#include "tests/images/embedded_programs.h"
#include "sim/device_definition.h"
#include "xsvf/commands.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A program walked by the developer tool's walker, which stops where the player stops.
struct WalkedProgram {
    std::span<const std::uint8_t> bytes;
    std::vector<WalkedCommand> commands;
    bool clean = false; // ends with XCOMPLETE as its last byte
    std::string error;
};

WalkedProgram walk(const std::uint8_t* bytes)
{
    WalkedProgram w;
    w.bytes = {bytes, IMAGE_LENGTH};
    const WalkedStream s = xsvf_walk_all(w.bytes);
    w.commands = s.commands;
    w.clean = s.result.ok && s.result.trailing == 0;
    w.error = s.result.error;
    return w;
}

// The n-th vector operand of a command: XSIR's instruction, XTDOMASK's mask, XSDRTDO's TDI
// (0) and expected TDO (1).
Bytes operand(const WalkedProgram& w, const WalkedCommand& c, std::size_t n)
{
    return n < c.vectors.size() ? xsvf_vector_bytes(w.bytes, c.vectors[n]) : Bytes{};
}

// Short text of a command: "XRUNTEST 14000", "XSIR", "XSDRSIZE 16", "XTDOMASK",
// "XSDRTDO 2048", "XSTATE 1", "XREPEAT 0", "XCOMPLETE".
std::string command_text(const WalkedCommand& c)
{
    const std::string name = player_command_name(c.opcode);
    switch (c.opcode) {
    case XRUNTEST:
    case XREPEAT:
    case XSDRSIZE:
    case XSTATE:
        return name + " " + std::to_string(c.value);
    case XSDRTDO:
        return name + " " + std::to_string(c.shift_bits);
    default:
        return name;
    }
}

// Bit i (the i-th bit shifted) of a big-endian vector.
int vector_bit(const Bytes& v, std::uint32_t i)
{
    const std::size_t byte = v.size() - 1 - i / 8;
    return (v[byte] >> (i % 8)) & 1;
}

std::vector<std::string> texts(const WalkedProgram& w, std::size_t from, std::size_t to)
{
    std::vector<std::string> t;
    for (std::size_t i = from; i < to && i < w.commands.size(); ++i) {
        t.push_back(command_text(w.commands[i]));
    }
    return t;
}

std::uint64_t vector_value(const std::vector<std::uint8_t>& v)
{
    std::uint64_t x = 0;
    for (std::uint8_t b : v) {
        x = (x << 8) | b;
    }
    return x;
}

TEST(ProgramLayout, SlotsFollowEachOtherAndEndInThreeZeroBytes)
{
    EXPECT_EQ(PciImage, ImageSlots);
    EXPECT_EQ(CardBusImage, ImageSlots + IMAGE_SLOT_SIZE);
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        EXPECT_EQ(p.bytes[IMAGE_LENGTH - 1], XCOMPLETE);
        EXPECT_EQ(p.bytes[IMAGE_LENGTH], 0);
        EXPECT_EQ(p.bytes[IMAGE_LENGTH + 1], 0);
        EXPECT_EQ(p.bytes[IMAGE_LENGTH + 2], 0);
        const WalkedProgram w = walk(p.bytes);
        EXPECT_TRUE(w.clean) << w.error;
        EXPECT_EQ(w.commands.size(), 4088u);
        EXPECT_EQ(w.commands.back().offset, IMAGE_LENGTH - 1);
    }
}

TEST(ProgramLayout, CommandTableCountsAndOperands)
{
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        const WalkedProgram w = walk(p.bytes);
        ASSERT_TRUE(w.clean) << w.error;
        std::map<int, int> count;
        std::map<std::uint32_t, int> runtest;
        std::map<std::uint32_t, int> sizes;
        for (std::size_t i = 0; i < w.commands.size(); ++i) {
            const WalkedCommand& c = w.commands[i];
            ++count[c.opcode];
            if (c.opcode == XRUNTEST) {
                ++runtest[c.value];
            } else if (c.opcode == XSDRSIZE) {
                ++sizes[c.value];
            } else if (c.opcode == XSIR) {
                EXPECT_EQ(c.value, 8u);
                EXPECT_EQ(operand(w, c, 0).size(), 1u);
            } else if (c.opcode == XTDOMASK) {
                ASSERT_GT(i, 0u);
                EXPECT_EQ(w.commands[i - 1].opcode, XSDRSIZE) << "at command " << i;
            } else if (c.opcode == XSTATE) {
                EXPECT_EQ(c.value, 1u);
            }
        }
        const std::map<int, int> expected_count = {
            {XRUNTEST, 1354}, {XSIR, 1174}, {XSDRTDO, 772}, {XSDRSIZE, 392},
            {XTDOMASK, 392},  {XSTATE, 2},  {XREPEAT, 1},   {XCOMPLETE, 1}};
        EXPECT_EQ(count, expected_count);
        const std::map<std::uint32_t, int> expected_runtest = {{0, 579},       {14000, 382},  {1, 193},    {50, 191},
                                                               {110000, 7},    {100000, 1},   {37000, 1}};
        EXPECT_EQ(runtest, expected_runtest);
        const std::map<std::uint32_t, int> expected_sizes = {{16, 193}, {4096, 189}, {6, 3},    {32, 2},
                                                             {2048, 2}, {1, 1},      {4224, 1}, {3968, 1}};
        EXPECT_EQ(sizes, expected_sizes);
        EXPECT_EQ(command_text(w.commands.front()), "XREPEAT 0");
    }
}

// Checks that [from, to) holds only instruction scans, run-test settings and data scans
// (XSDRSIZE, XTDOMASK, XSDRTDO), and returns the data-scan lengths and run-test values.
void short_section(const WalkedProgram& w, std::size_t from, std::size_t to, std::vector<std::uint32_t>* scans,
                   std::vector<std::uint32_t>* runtests, int* sirs)
{
    for (std::size_t i = from; i < to; ++i) {
        const WalkedCommand& c = w.commands[i];
        if (c.opcode == XSIR) {
            ++*sirs;
        } else if (c.opcode == XRUNTEST) {
            runtests->push_back(c.value);
        } else if (c.opcode == XSDRSIZE) {
            ASSERT_LT(i + 2, to);
            EXPECT_EQ(w.commands[i + 1].opcode, XTDOMASK);
            EXPECT_EQ(w.commands[i + 2].opcode, XSDRTDO);
            scans->push_back(c.value);
            i += 2;
        } else {
            ADD_FAILURE() << "unexpected " << command_text(c) << " at command " << i;
        }
    }
}

TEST(ProgramLayout, SevenSectionOutline)
{
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        const WalkedProgram w = walk(p.bytes);
        ASSERT_TRUE(w.clean) << w.error;
        const std::vector<std::string> all = texts(w, 0, w.commands.size());

        // Section 1: XREPEAT 0, XSTATE 1, XRUNTEST 110000, then up to the second XSTATE.
        ASSERT_EQ(texts(w, 0, 3), (std::vector<std::string>{"XREPEAT 0", "XSTATE 1", "XRUNTEST 110000"}));
        std::size_t s2 = 3;
        while (s2 < all.size() && all[s2] != "XSTATE 1") {
            ++s2;
        }
        ASSERT_LT(s2, all.size());
        std::vector<std::uint32_t> scans1, runtests1, scans2, runtests2;
        int sirs = 0;
        short_section(w, 3, s2, &scans1, &runtests1, &sirs);
        EXPECT_EQ(scans1, (std::vector<std::uint32_t>{32, 6, 16, 1}));
        for (std::uint32_t v : {0u, 1u, 100000u, 110000u}) {
            EXPECT_NE(std::find(runtests1.begin(), runtests1.end(), v), runtests1.end()) << v;
        }
        for (std::uint32_t v : runtests1) {
            EXPECT_TRUE(v == 0 || v == 1 || v == 100000 || v == 110000) << v;
        }

        // Section 2: XSTATE 1, XRUNTEST 110000, ..., then its fixed tail from XRUNTEST 14000.
        ASSERT_EQ(texts(w, s2, s2 + 2), (std::vector<std::string>{"XSTATE 1", "XRUNTEST 110000"}));
        std::size_t tail = s2;
        while (tail < all.size() && all[tail] != "XRUNTEST 14000") {
            ++tail;
        }
        short_section(w, s2 + 2, tail, &scans2, &runtests2, &sirs);
        EXPECT_EQ(scans2, (std::vector<std::uint32_t>{32, 6, 2048, 16}));
        EXPECT_NE(std::find(runtests2.begin(), runtests2.end(), 0u), runtests2.end());
        EXPECT_NE(std::find(runtests2.begin(), runtests2.end(), 1u), runtests2.end());
        for (std::uint32_t v : runtests2) {
            EXPECT_TRUE(v == 0 || v == 1) << v;
        }
        EXPECT_EQ(sirs, 19);
        EXPECT_EQ(texts(w, tail, tail + 6), (std::vector<std::string>{"XRUNTEST 14000", "XSIR", "XRUNTEST 0", "XSIR",
                                                                      "XSDRSIZE 2048", "XTDOMASK"}));

        // Sections 3 to 7, command by command.
        std::vector<std::string> e;
        for (int i = 0; i < 381; ++i) {
            e.insert(e.end(), {"XSDRTDO 2048", "XRUNTEST 14000", "XSIR", "XRUNTEST 0", "XSIR"});
        }
        e.insert(e.end(), {"XRUNTEST 1", "XSDRSIZE 16", "XTDOMASK", "XSDRTDO 16", "XRUNTEST 37000", "XSIR",
                           "XRUNTEST 110000", "XSIR", "XRUNTEST 0", "XSIR", "XSIR", "XSDRSIZE 6", "XTDOMASK",
                           "XSDRTDO 6", "XRUNTEST 50", "XSIR", "XSDRSIZE 4224"});
        for (int i = 0; i < 189; ++i) {
            const std::string length = i == 0 ? "4224" : "4096";
            e.insert(e.end(), {"XTDOMASK", "XSDRTDO " + length, "XRUNTEST 0", "XSIR", "XRUNTEST 1", "XSDRSIZE 16",
                               "XTDOMASK", "XSDRTDO 16", "XRUNTEST 50", "XSIR", "XSDRSIZE 4096"});
        }
        e.insert(e.end(), {"XTDOMASK", "XSDRTDO 4096", "XRUNTEST 0", "XSIR", "XRUNTEST 1", "XSDRSIZE 16", "XTDOMASK",
                           "XSDRTDO 16", "XRUNTEST 50", "XSIR", "XSDRSIZE 3968", "XTDOMASK", "XSDRTDO 3968"});
        for (int i = 0; i < 3; ++i) {
            e.insert(e.end(), {"XRUNTEST 110000", "XSIR", "XRUNTEST 0", "XSIR"});
        }
        e.push_back("XCOMPLETE");
        EXPECT_EQ(texts(w, tail + 6, all.size()), e);
    }
}

TEST(ProgramLayout, IdentityIsCheckedBeforeAnyErase)
{
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        const WalkedProgram w = walk(p.bytes);
        std::size_t first_scan = 0;
        std::size_t first_erase = 0;
        std::uint8_t instruction = 0;
        for (std::size_t i = 0; i < w.commands.size(); ++i) {
            const WalkedCommand& c = w.commands[i];
            if (c.opcode == XSIR) {
                instruction = operand(w, c, 0)[0];
                if (instruction == DEVICE_ERASE && first_erase == 0) {
                    first_erase = i;
                }
            }
            if (c.opcode == XSDRTDO && first_scan == 0) {
                first_scan = i;
                EXPECT_EQ(instruction, DEVICE_IDCODE);
                EXPECT_EQ(c.shift_bits, 32u);
                EXPECT_EQ(vector_value(operand(w, c, 1)), device_idcode(p.model));
                EXPECT_EQ(vector_value(operand(w, w.commands[i - 1], 0)), DEVICE_IDCODE_MASK);
            }
        }
        EXPECT_GT(first_scan, 0u);
        EXPECT_GT(first_erase, first_scan);
    }
}

TEST(ProgramLayout, ProgramsDifferOnlyInConfigurationAndIdentityData)
{
    const WalkedProgram a = walk(PciImage);
    const WalkedProgram b = walk(CardBusImage);
    ASSERT_EQ(a.commands.size(), b.commands.size());
    int tdi_differs = 0;
    int tdo_differs = 0;
    for (std::size_t i = 0; i < a.commands.size(); ++i) {
        const WalkedCommand& x = a.commands[i];
        const WalkedCommand& y = b.commands[i];
        ASSERT_EQ(x.offset, y.offset);
        ASSERT_EQ(x.opcode, y.opcode);
        if (x.opcode != XSDRTDO) {
            EXPECT_TRUE(std::equal(PciImage + x.offset, PciImage + x.offset + x.size, CardBusImage + y.offset))
                << command_text(x) << " at command " << i;
            continue;
        }
        if (operand(a, x, 0) != operand(b, y, 0)) {
            ++tdi_differs;
            EXPECT_EQ(x.shift_bits, DEVICE_ROW_BITS) << "TDI differs at command " << i;
        }
        if (operand(a, x, 1) != operand(b, y, 1)) {
            ++tdo_differs;
            EXPECT_TRUE(x.shift_bits == 32 || x.shift_bits >= 3968) << "expected TDO differs at command " << i;
        }
    }
    EXPECT_EQ(tdi_differs, 382);      // every row
    EXPECT_EQ(tdo_differs, 2 + 191);  // both identity checks and every read-back
}

TEST(ProgramLayout, RowsAndReadBacksCarryTheModelsConfigurationBitForBit)
{
    for (const EmbeddedProgram& p : PROGRAMS) {
        SCOPED_TRACE(p.file);
        const WalkedProgram w = walk(p.bytes);
        std::uint8_t instruction = 0;
        std::uint32_t row = 0;
        std::uint32_t read_bits = 0;
        std::uint32_t bad = 0;
        for (const WalkedCommand& c : w.commands) {
            if (c.opcode == XSIR) {
                instruction = operand(w, c, 0)[0];
            }
            if (c.opcode != XSDRTDO) {
                continue;
            }
            const Bytes tdi = operand(w, c, 0);
            const Bytes tdo = operand(w, c, 1);
            if (instruction == DEVICE_LOAD) {
                for (std::uint32_t i = 0; i < c.shift_bits; ++i) {
                    bad += vector_bit(tdi, i) != device_configuration_bit(p.model, row * DEVICE_ROW_BITS + i);
                }
                ++row;
            } else if (instruction == DEVICE_READ) {
                // The reads follow each other through the memory with no gap and no overlap.
                for (std::uint32_t i = 0; i < c.shift_bits; ++i) {
                    bad += vector_bit(tdo, i) != device_configuration_bit(p.model, read_bits + i);
                    bad += vector_bit(tdi, i) != 0;
                }
                read_bits += c.shift_bits;
            }
        }
        EXPECT_EQ(bad, 0u);
        EXPECT_EQ(row, DEVICE_ROWS);
        EXPECT_EQ(read_bits, DEVICE_MEMORY_BITS);
    }
}

} // namespace
