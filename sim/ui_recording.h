// A recording sink for the dialog item messages of the progress display (tests).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui.h"

struct RecordedMessage {
    WindowHandle dialog;
    int item_id;
    unsigned message;
    std::uintptr_t wparam;
    std::string text;  // WM_SETTEXT: the text sent
};

extern std::vector<RecordedMessage> RecordedMessages;

// A function that each call of ui_answer_messages runs when it is set (tests that look at when
// in an update the thread would answer).
extern void (*OnAnswer)();
