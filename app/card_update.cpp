// The update of one card with the machine held for its length.
#include "app/card_update.h"

#include "app/resources/resource.h"
#include "images/image_source.h"
#include "xsvf/update.h"

std::int32_t UpdatingCard = -1;
const char* UpdatingProgram = nullptr;

namespace {

constexpr wchar_t SHUTDOWN_REASON[] = L"" APP_SHUTDOWN_REASON_TEXT;

} // namespace

std::int32_t app_update_card(std::int32_t card, CardModel model, WindowHandle page, OsWindow sheet)
{
    UpdatingCard = card;
    UpdatingProgram = card_model_of(model).name;
    os_set_execution_state(OS_ES_CONTINUOUS | OS_ES_SYSTEM_REQUIRED);
    os_block_shutdown(sheet, SHUTDOWN_REASON);

    const std::int32_t result = player_update_card(card, image_program(model), IMAGE_LENGTH, page);
    ui_answer_messages();

    os_unblock_shutdown(sheet);
    os_set_execution_state(OS_ES_CONTINUOUS);
    UpdatingCard = -1;
    UpdatingProgram = nullptr;
    return result;
}
