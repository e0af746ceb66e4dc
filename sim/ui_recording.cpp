#include "sim/ui_recording.h"

std::vector<RecordedMessage> RecordedMessages;

std::intptr_t ui_send_item_message(WindowHandle dialog, int item_id, unsigned message,
                                   std::uintptr_t wparam, std::intptr_t lparam)
{
    RecordedMessage m{dialog, item_id, message, wparam, {}};
    if (message == UI_WM_SETTEXT && lparam != 0) {
        m.text = reinterpret_cast<const char*>(lparam);
    }
    RecordedMessages.push_back(m);
    return 1;
}

void (*OnAnswer)() = nullptr;

void ui_answer_messages()
{
    if (OnAnswer != nullptr) {
        OnAnswer();
    }
}
