// The card models and what differs between them: one row each. A model is an index into
// CARD_MODELS, and model k's program is slot k of the embedded programs. Adding a model is
// adding a row here and its program file images/<key>.xsvf (which imagegen writes from the row).
//
// The rows are written once, as the list MOLA_CARD_MODEL_ROWS, because the same rows also
// make the assembler lines that take the program files into the executable (image_data.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// ROW(key, name, idcode, seed):
//   key     names the model in MOLA_SIM_CARDS, in the xsvf tool (--card KEY, @KEY) and in the
//           program file's name, KEY.xsvf
//   name    the model as people read it
//   idcode  the identity of the card's logic device, which the model's program checks
//   seed    of the synthetic configuration that the model's program writes into the device
#define MOLA_CARD_MODEL_ROWS(ROW)                                      \
    ROW("pci", "PCI", 0x14D010FFu, 0x504349434F4E4647ull)             \
    ROW("cardbus", "CardBus", 0x14D020FFu, 0x434243434F4E4647ull)

struct SCardModel {
    const char* key;
    const char* name;
    std::uint32_t idcode;
    std::uint64_t seed;
};

#define MOLA_CARD_MODEL_RECORD(key, name, idcode, seed) SCardModel{key, name, idcode, seed},
inline constexpr std::array CARD_MODELS = {MOLA_CARD_MODEL_ROWS(MOLA_CARD_MODEL_RECORD)};
#undef MOLA_CARD_MODEL_RECORD

using CardModel = std::uint8_t;
constexpr int CARD_MODEL_COUNT = static_cast<int>(CARD_MODELS.size());

// The two models that the card page's radio buttons choose.
constexpr CardModel CARD_MODEL_PCI = 0;
constexpr CardModel CARD_MODEL_CARDBUS = 1;

// The model whose key is `key`, or -1.
constexpr int card_model_by_key(std::string_view key)
{
    for (int m = 0; m < CARD_MODEL_COUNT; ++m) {
        if (key == CARD_MODELS[static_cast<std::size_t>(m)].key) {
            return m;
        }
    }
    return -1;
}

constexpr const SCardModel& card_model_of(CardModel model)
{
    return CARD_MODELS[model];
}
