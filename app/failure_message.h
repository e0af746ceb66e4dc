// What the person is told after "Failed": which card was not updated, why, whether the card
// was changed, and what to do next, from the one cause that the log line names too. Plain
// code, so that its tests run natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "images/card_models.h"
#include "xsvf/update.h"

// The texts of one cause. `why` may hold one %s, the name of the interface chosen; `next` may
// hold two, the name of the other interface twice.
struct FailureTexts {
    UpdateFailure cause;
    const char* why;
    bool card_changed; // false: nothing on the card was changed
    const char* next;
};

inline constexpr const char* FAILURE_CHECK_CARD_AND_DRIVER =
    "Check that the card sits firmly in its slot and that its driver is installed and working, then press Update "
    "again.";
inline constexpr const char* FAILURE_UPDATE_AGAIN =
    "Press Update again. If it fails again, keep the computer on and see \"After Failed\" in the user's guide.";

// One row per cause, in the order of UpdateFailure.
inline constexpr FailureTexts FAILURE_TEXTS[] = {
    {UpdateFailure::NotMapped, "The card's driver could not give this tool access to the card.", false,
     FAILURE_CHECK_CARD_AND_DRIVER},
    {UpdateFailure::NotReached, "The card could not be reached through its driver.", false,
     FAILURE_CHECK_CARD_AND_DRIVER},
    {UpdateFailure::IdentityCheck, "The card did not answer as a %s card.", false,
     "A PCI card needs PCI and a CardBus card needs CardBus. If this is a %s card, choose %s and press Update "
     "again."},
    {UpdateFailure::AfterIdentity,
     "The card stopped answering during the update, or what was written to it could not be verified.", true,
     FAILURE_UPDATE_AGAIN},
    {UpdateFailure::PlayerError, "The update stopped on an error in the program it was writing.", true,
     FAILURE_UPDATE_AGAIN},
};

// Each cause has its row, at its own place: a cause added without its texts does not build.
constexpr bool failure_rows_in_order()
{
    for (int i = 0; i < UPDATE_FAILURE_COUNT; ++i) {
        if (static_cast<int>(FAILURE_TEXTS[i].cause) != i) {
            return false;
        }
    }
    return true;
}
static_assert(std::size(FAILURE_TEXTS) == UPDATE_FAILURE_COUNT && failure_rows_in_order());

inline constexpr const char* FAILURE_NOTHING_CHANGED = "Nothing on the card was changed.";
inline constexpr const char* FAILURE_MAY_BE_INCOMPLETE =
    "The card's logic may be incomplete now. Do not switch the computer off before an update of this card has "
    "succeeded.";

constexpr std::size_t FAILURE_MESSAGE_SIZE = 640;

// The message after a failed update of card k (0-based) with the program of `chosen`, its
// result `result`: "Card N was not updated.", why, whether the card was changed, and what to
// do next, as paragraphs. Call it right after the update (player_failure_cause).
void app_failure_message(char* out, std::size_t size, std::int32_t card, CardModel chosen, std::int32_t result);
