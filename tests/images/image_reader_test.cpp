// The byte reader: bytes in order, the percent rule, text before bar, and never past the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "images/image_source.h"
#include "sim/ui_recording.h"

namespace {

WindowHandle const PAGE_A = reinterpret_cast<WindowHandle>(0x1000);
WindowHandle const PAGE_B = reinterpret_cast<WindowHandle>(0x2000);

class ImageReaderTest : public ::testing::Test {
protected:
    std::vector<std::uint8_t> program = std::vector<std::uint8_t>(IMAGE_LENGTH);

    void SetUp() override
    {
        for (std::uint32_t i = 0; i < IMAGE_LENGTH; ++i) {
            program[i] = static_cast<std::uint8_t>(i * 7u + 3u);
        }
        start(program.data(), IMAGE_LENGTH, PAGE_A);
    }

    static void start(const std::uint8_t* bytes, std::uint32_t length, WindowHandle page)
    {
        SelectedImage = bytes;
        SelectedImageLength = length;
        ImageReadIndex = 0;
        LastPercent = 0;
        ProgressPage = page;
        RecordedMessages.clear();
    }

    static std::uint8_t next()
    {
        std::uint8_t b = 0;
        image_next_byte(&b);
        return b;
    }
};

TEST_F(ImageReaderTest, SlotsLieBackToBack)
{
    EXPECT_EQ(PciImage, ImageSlots);
    EXPECT_EQ(CardBusImage, ImageSlots + IMAGE_SLOT_SIZE);
    EXPECT_EQ(IMAGE_SLOT_SIZE - IMAGE_LENGTH, 3u);
    for (std::uint32_t i = IMAGE_LENGTH; i < IMAGE_SLOT_SIZE; ++i) {
        EXPECT_EQ(PciImage[i], 0) << i;
        EXPECT_EQ(CardBusImage[i], 0) << i;
    }
}

TEST_F(ImageReaderTest, DeliversBytesInOrderAndCountsThem)
{
    for (std::uint32_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(next(), program[i]) << i;
    }
    EXPECT_EQ(ImageReadIndex, 1000u);
}

TEST_F(ImageReaderTest, FirstPercentAtByte5041AndEveryPercentInOrder)
{
    for (int i = 0; i < 5040; ++i) {
        next();
    }
    EXPECT_TRUE(RecordedMessages.empty());
    next();
    ASSERT_EQ(RecordedMessages.size(), 2u);

    for (std::uint32_t i = 5041; i < IMAGE_LENGTH; ++i) {
        next();
    }
    ASSERT_EQ(RecordedMessages.size(), 200u);
    for (int p = 1; p <= 100; ++p) {
        const RecordedMessage& text = RecordedMessages[static_cast<std::size_t>(2 * (p - 1))];
        const RecordedMessage& bar = RecordedMessages[static_cast<std::size_t>(2 * (p - 1) + 1)];
        EXPECT_EQ(text.dialog, PAGE_A);
        EXPECT_EQ(text.item_id, IDC_STATUS);
        EXPECT_EQ(text.message, UI_WM_SETTEXT);
        EXPECT_EQ(text.wparam, 0u);
        EXPECT_EQ(text.text, std::to_string(p) + " %");
        EXPECT_EQ(bar.dialog, PAGE_A);
        EXPECT_EQ(bar.item_id, IDC_PROGRESS);
        EXPECT_EQ(bar.message, UI_PBM_SETPOS);
        EXPECT_EQ(bar.wparam, static_cast<std::uintptr_t>(p));
    }
    EXPECT_EQ(LastPercent, 100);
}

TEST_F(ImageReaderTest, PercentIsMeasuredAgainstTheSelectedProgramsLength)
{
    // 6000 bytes: 1 percent at byte 60, 100 at the last byte, never more.
    start(program.data(), 6000, PAGE_A);
    for (int i = 0; i < 59; ++i) {
        next();
    }
    EXPECT_TRUE(RecordedMessages.empty());
    next();
    ASSERT_EQ(RecordedMessages.size(), 2u);
    EXPECT_EQ(RecordedMessages[0].text, "1 %");
    for (int i = 60; i < 6000 + 10; ++i) {
        next();
    }
    EXPECT_EQ(RecordedMessages.size(), 200u);
    EXPECT_EQ(RecordedMessages.back().wparam, 100u);

    // A program shorter than 100 bytes skips percents; one byte is all of it.
    const std::uint8_t one[1] = {0};
    start(one, 1, PAGE_A);
    next();
    ASSERT_EQ(RecordedMessages.size(), 2u);
    EXPECT_EQ(RecordedMessages[0].text, "100 %");

    // A program of 45 MB still counts exactly: 100 times its index overflows 32 bits.
    const std::vector<std::uint8_t> big(45u << 20);
    start(big.data(), static_cast<std::uint32_t>(big.size()), PAGE_A);
    ImageReadIndex = static_cast<std::uint32_t>(big.size()) - 2;
    next();
    ASSERT_EQ(RecordedMessages.size(), 2u);
    EXPECT_EQ(RecordedMessages[0].text, "99 %");
}

TEST_F(ImageReaderTest, EveryRiseOfThePercentIsShownAtItsByteForAnyLength)
{
    // The percent shown after each byte is index * 100 / length, sent exactly when it rises
    // above LastPercent, also when a caller sets LastPercent between runs.
    for (const std::uint32_t length : {1u, 7u, 99u, 100u, 101u, 333u, 6000u, 100000u}) {
        for (const std::int32_t last : {0, -5, 37, 100, 1000}) {
            start(program.data(), length, PAGE_A);
            LastPercent = last;
            std::int32_t shown = last;
            std::size_t messages = 0;
            for (std::uint32_t i = 1; i <= length; ++i) {
                next();
                const auto percent = static_cast<std::int32_t>(std::uint64_t{i} * 100u / length);
                if (percent > shown) {
                    shown = percent;
                    messages += 2;
                    ASSERT_EQ(RecordedMessages.size(), messages) << length << " " << last << " byte " << i;
                    EXPECT_EQ(RecordedMessages.back().wparam, static_cast<std::uintptr_t>(percent));
                }
                ASSERT_EQ(RecordedMessages.size(), messages) << length << " " << last << " byte " << i;
            }
            EXPECT_EQ(LastPercent, shown);
        }
    }
}

TEST_F(ImageReaderTest, NeverReadsPastTheSelectedProgram)
{
    const std::uint8_t tiny[2] = {0x12, 0x34};
    start(tiny, 2, PAGE_A);
    // Looking ahead neither delivers a byte nor moves the progress.
    EXPECT_EQ(image_bytes_left(), 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(image_rest().begin(), image_rest().end()), (std::vector<std::uint8_t>{0x12, 0x34}));
    EXPECT_EQ(ImageReadIndex, 0u);
    EXPECT_EQ(next(), 0x12);
    EXPECT_EQ(image_bytes_left(), 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(image_rest().begin(), image_rest().end()), (std::vector<std::uint8_t>{0x34}));
    EXPECT_EQ(next(), 0x34);
    EXPECT_TRUE(image_rest().empty());
    ASSERT_EQ(RecordedMessages.size(), 4u); // 50 % and 100 %
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(next(), IMAGE_PAST_END_BYTE);
    }
    EXPECT_EQ(ImageReadIndex, 2u);
    EXPECT_EQ(image_bytes_left(), 0u);
    EXPECT_EQ(RecordedMessages.size(), 4u); // nothing more past the end
}

TEST_F(ImageReaderTest, ASecondRunStartsAgainAndReportsOnlyToItsPage)
{
    for (int i = 0; i < 20000; ++i) {
        next();
    }
    EXPECT_EQ(LastPercent, 3);
    start(program.data(), IMAGE_LENGTH, PAGE_B);
    EXPECT_EQ(next(), program[0]);
    for (int i = 1; i < 5041; ++i) {
        next();
    }
    ASSERT_EQ(RecordedMessages.size(), 2u);
    EXPECT_EQ(RecordedMessages[0].dialog, PAGE_B);
    EXPECT_EQ(RecordedMessages[0].text, "1 %");
    EXPECT_EQ(RecordedMessages[1].dialog, PAGE_B);
}

} // namespace
