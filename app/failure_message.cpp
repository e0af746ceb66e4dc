// The message after "Failed", from the row of texts of its cause.
#include "app/failure_message.h"

#include <cstdio>

void app_failure_message(char* out, std::size_t size, std::int32_t card, CardModel chosen, std::int32_t result)
{
    const FailureTexts& texts = FAILURE_TEXTS[static_cast<int>(player_failure_cause(result))];
    const char* other = card_model_of(chosen == CARD_MODEL_PCI ? CARD_MODEL_CARDBUS : CARD_MODEL_PCI).name;
    char why[160];
    char next[240];
    std::snprintf(why, sizeof why, texts.why, card_model_of(chosen).name);
    std::snprintf(next, sizeof next, texts.next, other, other);
    std::snprintf(out, size, "Card %d was not updated.\n\n%s\n\n%s\n\n%s", static_cast<int>(card + 1), why,
                  texts.card_changed ? FAILURE_MAY_BE_INCOMPLETE : FAILURE_NOTHING_CHANGED, next);
}
