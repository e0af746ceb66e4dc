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

    const std::int32_t percent = static_cast<std::int32_t>(ImageReadIndex * 100u / IMAGE_LENGTH);
    if (percent <= LastPercent) {
        return;
    }
    LastPercent = percent;
    char text[64];
    std::snprintf(text, sizeof text, "%d %%", static_cast<int>(percent));
    ui_send_item_message(ProgressPage, IDC_STATUS, UI_WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(text));
    ui_send_item_message(ProgressPage, IDC_PROGRESS, UI_PBM_SETPOS, static_cast<std::uintptr_t>(percent), 0);
}
