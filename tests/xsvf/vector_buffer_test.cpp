// Vector buffers: values, masked compares, sums, data insertion and bounds.
#include <gtest/gtest.h>

#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/vector_buffer.h"

namespace {

TEST(VectorBuffer, ValueIsBigEndianAndKeepsTheLastFourBytes)
{
    EXPECT_EQ(vb_value(&Vb({})), 0);
    EXPECT_EQ(vb_value(&Vb({0x01, 0xF4})), 500);
    EXPECT_EQ(vb_value(&Vb({0x01, 0, 0, 0, 0x05})), 5);
    EXPECT_EQ(vb_value(&Vb({0x12, 0x34, 0x56, 0x78, 0x9A})), 0x3456789A);
    EXPECT_EQ(vb_value(&Vb({0xFF, 0xFF, 0xFF, 0xFF})), -1);
}

TEST(VectorBuffer, MaskedCompareLooksOnlyAtTheFirstCountAndTheMask)
{
    EXPECT_EQ(vb_equal_masked(&Vb({}), &Vb({1}), &Vb({0xFF})), 1);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x12, 0x35}), nullptr), 0);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x13, 0x34}), &Vb({0x00, 0xFF})), 1);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x13, 0x35}), &Vb({0xFE, 0xFE})), 1);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12}), &Vb({0x12, 0x99}), nullptr), 1);
}

TEST(VectorBuffer, BytesBeyondAShortMaskOrCaptureAreNeverTakenAsAMatch)
{
    // A mask shorter than the compare (none loaded yet: count 0) compares every bit there,
    // whatever lies beyond its count.
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x12, 0x35}), &Vb({}, 0x00)), 0);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x12, 0x34}), &Vb({}, 0x00)), 1);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0x34}), &Vb({0x00, 0x34}), &Vb({0x00}, 0x00)), 1);
    // Expected bytes that were never captured differ, unless masked out.
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0xEE}), &Vb({0x12}, 0xEE), nullptr), 0);
    EXPECT_EQ(vb_equal_masked(&Vb({0x12, 0xEE}), &Vb({0x12}, 0xEE), &Vb({0xFF, 0x00})), 1);
}

TEST(VectorBuffer, AddCarriesFromTheLastByteAndDropsTheTopCarry)
{
    struct Case { Bytes a, b, sum; };
    const Case cases[] = {
        {{0x01, 0xFF}, {0x00, 0x01}, {0x02, 0x00}},
        {{0xFF, 0xFF}, {0x00, 0x01}, {0x00, 0x00}},
        {{0x12, 0x34, 0x56}, {0x00, 0x01, 0x00}, {0x12, 0x35, 0x56}},
        {{0x12, 0x34, 0x56}, {0x01}, {0x13, 0x34, 0x56}}, // b's missing bytes are 0
        {{}, {0x01}, {}},
    };
    for (const Case& c : cases) {
        Vb a(c.a);
        vb_add(&a, &a, &Vb(c.b));
        EXPECT_EQ(a.bytes(), c.sum);
    }
}

TEST(VectorBuffer, BytesForBitsNeverOverflows)
{
    EXPECT_EQ(vb_bytes_for_bits(0), 0);
    EXPECT_EQ(vb_bytes_for_bits(1), 1);
    EXPECT_EQ(vb_bytes_for_bits(8), 1);
    EXPECT_EQ(vb_bytes_for_bits(9), 2);
    EXPECT_EQ(vb_bytes_for_bits(4224), 528);
    EXPECT_EQ(vb_bytes_for_bits(INT32_MAX), 268435456);
}

TEST(VectorBuffer, InsertDataScattersDataBitsIntoTheMaskPositions)
{
    struct Case { Bytes tdi, address, mask, data, result; };
    const Case cases[] = {
        {{0x00, 0x0F}, {0x00, 0x00}, {0x00, 0xF0}, {0x0A}, {0x00, 0xAF}},
        {{0x00, 0xFF}, {0x00, 0x00}, {0x01, 0x80}, {0x02}, {0x01, 0x7F}},
        {{0x10, 0x00, 0x00}, {0x00, 0x00, 0x01}, {0x0F, 0x0F, 0x0F}, {0x01, 0x23}, {0x11, 0x02, 0x03}},
        // 12 mask bits take all of the last data byte and the low nibble of the first.
        {{0x00, 0x00}, {0x00, 0x00}, {0x0F, 0xFF}, {0xA5, 0x3C}, {0x05, 0x3C}},
        // No mask bits: only the address step, and no data byte is looked at.
        {{0x00, 0xFF}, {0x00, 0x01}, {0x00, 0x00}, {}, {0x01, 0x00}},
        // Data shorter than the mask's bits: the missing bits are 0.
        {{0xFF, 0xFF}, {0x00, 0x00}, {0xFF, 0xFF}, {0x81}, {0x00, 0x81}},
        // A mask longer than tdi: the bytes beyond tdi are ignored.
        {{0x00}, {0x00}, {0x0F, 0xFF}, {0xFF, 0xFF}, {0x0F}},
    };
    for (const Case& c : cases) {
        Vb tdi(c.tdi);
        vb_insert_data(&tdi, &Vb(c.data), &Vb(c.address), &Vb(c.mask));
        EXPECT_EQ(tdi.bytes(), c.result);
        EXPECT_EQ(tdi.data[tdi.count], 0xEE); // nothing written past the count
    }
}

TEST(VectorBuffer, PrintWritesLowerCaseHexWithoutLineEnd)
{
    testing::internal::CaptureStdout();
    vb_print(&Vb({0x0A, 0x00, 0xFF}));
    vb_print(nullptr);
    vb_print(&Vb({}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0x0a00ff0x");
}

} // namespace
