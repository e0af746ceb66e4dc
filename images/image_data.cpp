// Placeholder until the program generator lands: both slots hold only XCOMPLETE.
#include "images/image_source.h"

const std::uint8_t ImageSlots[2 * IMAGE_SLOT_SIZE] = {};
