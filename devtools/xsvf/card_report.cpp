// What a simulated card holds after the tool has worked on it, as play and serve print it.
#include <cstdio>

#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_card.h"
#include "sim/sim_state.h"

void xsvf_report_card(std::FILE* out, const char* prefix, const SimCard* card)
{
    const char* card_name = card_model_of(card->model).name;
    for (int m = CARD_MODEL_COUNT - 1; m >= 0; --m) {
        if (sim_card_holds_configuration(card, static_cast<CardModel>(m))) {
            std::fprintf(out, "%sthe %s card's memory holds the %s configuration\n", prefix, card_name,
                         card_model_of(static_cast<CardModel>(m)).name);
            return;
        }
    }
    std::fprintf(out, "%sthe %s card's memory holds no complete configuration\n", prefix, card_name);
}

int xsvf_state(const char* path)
{
    SimConfig config;
    SimMessage message{};
    if (!sim_state_open(path, false, &config, &message)) {
        std::fprintf(stderr, "xsvf: state file %s: %s\n", path, message.text);
        return EXIT_NO_INPUT;
    }
    config.real_sleep = false;
    sim_configure(config);
    for (int k = 0; k < config.card_count; ++k) {
        char prefix[96];
        std::snprintf(prefix, sizeof prefix, "card %d: revision %d; ", k + 1, static_cast<int>(TheSimConfig.cards[k].revision));
        xsvf_report_card(stdout, prefix, sim_card(k));
    }
    sim_state_close();
    return xsvf_finish_output(0);
}
