// One update of a card as the card page runs it, with the machine held for its length: the
// system is told that it is required (it does not sleep on its idle timer) and a shutdown or
// log-off waits for the sheet, with the reason shown to the person. Plain code over the OS
// and UI seams, so that its tests run natively too.
#pragma once

#include <cstdint>

#include "images/card_models.h"
#include "platform/os.h"
#include "platform/ui.h"

// The card being written now (0-based) and its program's name; -1 and null between updates.
// While a card is written, the sheet neither closes nor switches pages, no second update
// starts, and the session does not end.
extern std::int32_t UpdatingCard;
extern const char* UpdatingProgram;

// Updates card k with its model's program, page showing the progress, holding the machine as
// above for the sheet; both holds end with the update, whatever its result. Before they end,
// the thread answers its windows once more, so that keys and clicks given up to the end of
// the update are dropped too. Returns player_update_card's result.
std::int32_t app_update_card(std::int32_t card, CardModel model, WindowHandle page, OsWindow sheet);
