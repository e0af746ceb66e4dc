// Byte reader over the selected program, with the percent rule of the progress display.
#include "images/image_source.h"

#include <cstdio>

const std::uint8_t* const PciImage = ImageSlots + CARD_MODEL_PCI * IMAGE_SLOT_SIZE;
const std::uint8_t* const CardBusImage = ImageSlots + CARD_MODEL_CARDBUS * IMAGE_SLOT_SIZE;

const std::uint8_t* SelectedImage = ImageSlots;
std::uint32_t SelectedImageLength = IMAGE_LENGTH;
std::uint32_t ImageReadIndex = 0;
std::int32_t LastPercent = 0;
WindowHandle ProgressPage = nullptr;

const std::uint8_t* image_program(CardModel model)
{
    return ImageSlots + static_cast<std::uint32_t>(model) * IMAGE_SLOT_SIZE;
}

void image_next_byte(std::uint8_t* byte)
{
    // Never read past the selected program, whatever the stream asks for.
    if (ImageReadIndex >= SelectedImageLength) {
        *byte = IMAGE_PAST_END_BYTE;
        return;
    }
    *byte = SelectedImage[ImageReadIndex];
    ++ImageReadIndex;

    // The share of the selected program read so far. For the embedded programs, whose length
    // is IMAGE_LENGTH, this is the page's rule: 1 % at byte 5041, 100 % at XCOMPLETE. Taken
    // in 64 bits, so that no length can overflow it; the index never exceeds the length.
    const auto percent = static_cast<std::int32_t>(static_cast<std::uint64_t>(ImageReadIndex) * 100u /
                                                   SelectedImageLength);
    if (percent <= LastPercent) {
        return;
    }
    LastPercent = percent;
    char text[64];
    std::snprintf(text, sizeof text, "%d %%", static_cast<int>(percent));
    ui_send_item_message(ProgressPage, IDC_STATUS, UI_WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(text));
    ui_send_item_message(ProgressPage, IDC_PROGRESS, UI_PBM_SETPOS, static_cast<std::uintptr_t>(percent), 0);
}

std::uint32_t image_bytes_left()
{
    return ImageReadIndex < SelectedImageLength ? SelectedImageLength - ImageReadIndex : 0;
}

std::uint8_t image_peek_byte(std::uint32_t ahead)
{
    return ahead < image_bytes_left() ? SelectedImage[ImageReadIndex + ahead] : IMAGE_PAST_END_BYTE;
}
