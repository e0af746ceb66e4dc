// What a simulated card holds after the tool has worked on it, as play and serve print it.
#include <cstdio>

#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_card.h"

const char* xsvf_model_name(SimCardModel model)
{
    return model == SimCardModel::Pci ? "PCI" : "CardBus";
}

void xsvf_report_card(std::FILE* out, const char* prefix, const SimCard* card)
{
    const bool pci = sim_card_holds_configuration(card, SimCardModel::Pci);
    const bool cardbus = sim_card_holds_configuration(card, SimCardModel::CardBus);
    if (pci || cardbus) {
        std::fprintf(out, "%sthe %s card's memory holds the %s configuration\n", prefix, xsvf_model_name(card->model),
                     xsvf_model_name(pci ? SimCardModel::Pci : SimCardModel::CardBus));
    } else {
        std::fprintf(out, "%sthe %s card's memory holds no complete configuration\n", prefix,
                     xsvf_model_name(card->model));
    }
}
