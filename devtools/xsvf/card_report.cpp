// What a simulated card holds after the tool has worked on it, as play and serve print it.
#include <cstdio>

#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_card.h"

void xsvf_report_card(std::FILE* out, const char* prefix, const SimCard* card)
{
    const char* card_name = card_model_of(card->model).name;
    int held = -1;
    for (int m = 0; m < CARD_MODEL_COUNT; ++m) {
        if (sim_card_holds_configuration(card, static_cast<CardModel>(m))) {
            held = m;
        }
    }
    if (held >= 0) {
        std::fprintf(out, "%sthe %s card's memory holds the %s configuration\n", prefix, card_name,
                     card_model_of(static_cast<CardModel>(held)).name);
    } else {
        std::fprintf(out, "%sthe %s card's memory holds no complete configuration\n", prefix, card_name);
    }
}
