// The two embedded XSVF programs and the byte reader over the selected one, which also
// drives the progress display of the card page that started the update.
#pragma once

#include <cstdint>
#include <span>

#include "images/card_models.h"
#include "images/progress_controls.h"
#include "platform/ui.h"

constexpr std::uint32_t IMAGE_LENGTH = 504089;    // bytes up to and including XCOMPLETE
constexpr std::uint32_t IMAGE_SLOT_SIZE = 504092; // the stream and 3 zero bytes

// One slot per card model, in the order of CARD_MODELS: the PCI slot first and the CardBus
// slot directly after it.
extern const std::uint8_t ImageSlots[CARD_MODEL_COUNT * IMAGE_SLOT_SIZE];
extern const std::uint8_t* const PciImage;
extern const std::uint8_t* const CardBusImage;

// The embedded program of a card model.
const std::uint8_t* image_program(CardModel model);

// Reader state, shared by all card pages.
extern const std::uint8_t* SelectedImage;  // first byte of the selected program
extern std::uint32_t SelectedImageLength;  // bytes the reader may deliver from it
extern std::uint32_t ImageReadIndex;       // next byte to deliver
extern std::int32_t LastPercent;           // percent last shown
extern WindowHandle ProgressPage;          // page whose controls show the progress

// Byte delivered for every request past the end of the selected program. The player asks
// for none (it checks each command's operands against image_bytes_left first); this is the
// reader's own guard: an opcode that no command has, never a byte beyond the program.
constexpr std::uint8_t IMAGE_PAST_END_BYTE = 0xFF;

// Stores the next byte of the selected program and advances the progress display: the
// percent of SelectedImageLength read, sent to ProgressPage whenever it rises.
void image_next_byte(std::uint8_t* byte);

// Bytes of the selected program not yet delivered.
std::uint32_t image_bytes_left();

// The bytes of the selected program not yet delivered, to be looked at without delivering
// them or moving the progress display.
std::span<const std::uint8_t> image_rest();
