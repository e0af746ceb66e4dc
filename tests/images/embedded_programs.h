// The embedded programs as the image tests know them: written out here, not taken from the
// card-model table, so that the tests check the table's slots against the names they expect.
#pragma once

#include <cstdint>

#include "images/image_source.h"

struct EmbeddedProgram {
    CardModel model;
    const std::uint8_t* bytes;
    const char* file;
};

inline const EmbeddedProgram PROGRAMS[] = {{CARD_MODEL_PCI, PciImage, "pci.xsvf"},
                                           {CARD_MODEL_CARDBUS, CardBusImage, "cardbus.xsvf"}};
