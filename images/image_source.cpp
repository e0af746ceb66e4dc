// Byte reader over the selected program, with the percent rule of the progress display.
#include "images/image_source.h"

#include <cstdint>
#include <cstdio>

const std::uint8_t* const PciImage = ImageSlots + CARD_MODEL_PCI * IMAGE_SLOT_SIZE;
const std::uint8_t* const CardBusImage = ImageSlots + CARD_MODEL_CARDBUS * IMAGE_SLOT_SIZE;

const std::uint8_t* SelectedImage = ImageSlots;
std::uint32_t SelectedImageLength = IMAGE_LENGTH;
std::uint32_t ImageReadIndex = 0;
std::int32_t LastPercent = 0;
WindowHandle ProgressPage = nullptr;

namespace {

// The read index at which the percent next rises above LastPercent, worked out once for each
// (LastPercent, SelectedImageLength) pair rather than dividing for every byte. Keyed by both,
// it stays right whatever a caller sets them to between runs.
std::int32_t RiseForPercent = -1;
std::uint32_t RiseForLength = 0;
std::uint64_t RiseIndex = 0;

std::uint64_t next_rise_index()
{
    if (LastPercent != RiseForPercent || SelectedImageLength != RiseForLength) {
        RiseForPercent = LastPercent;
        RiseForLength = SelectedImageLength;
        // index * 100 / length > p  exactly when  index >= ceil((p + 1) * length / 100).
        if (LastPercent < 0) {
            RiseIndex = 0;
        } else if (LastPercent >= 100) {
            RiseIndex = UINT64_MAX;
        } else {
            RiseIndex = ((static_cast<std::uint64_t>(LastPercent) + 1) * SelectedImageLength + 99) / 100;
        }
    }
    return RiseIndex;
}

// Shows the percent that index has reached on the progress page: text first, then the bar.
void show_percent(std::uint32_t index)
{
    const auto percent = static_cast<std::int32_t>(static_cast<std::uint64_t>(index) * 100u / SelectedImageLength);
    LastPercent = percent;
    char text[64];
    std::snprintf(text, sizeof text, "%d %%", static_cast<int>(percent));
    ui_send_item_message(ProgressPage, IDC_STATUS, UI_WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(text));
    ui_send_item_message(ProgressPage, IDC_PROGRESS, UI_PBM_SETPOS, static_cast<std::uintptr_t>(percent), 0);
    ui_answer_messages();
}

} // namespace

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

    // The share of the selected program read so far, rounded down. For the embedded programs,
    // whose length is IMAGE_LENGTH, this is the page's rule: 1 % at byte 5041, 100 % at
    // XCOMPLETE. Taken in 64 bits, so that no length can overflow it.
    if (ImageReadIndex >= next_rise_index()) {
        show_percent(ImageReadIndex);
    }
}

std::uint32_t image_bytes_left()
{
    return ImageReadIndex < SelectedImageLength ? SelectedImageLength - ImageReadIndex : 0;
}

std::span<const std::uint8_t> image_rest()
{
    const std::uint32_t left = image_bytes_left();
    return left == 0 ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(SelectedImage + ImageReadIndex, left);
}
