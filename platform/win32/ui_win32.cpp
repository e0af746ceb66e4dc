// Dialog item messages on Windows.
#include "platform/ui.h"

#include <windows.h>

#include "platform/win32/input_messages.h"

std::intptr_t ui_send_item_message(WindowHandle dialog, int item_id, unsigned message,
                                   std::uintptr_t wparam, std::intptr_t lparam)
{
    return SendDlgItemMessageA(static_cast<HWND>(dialog), item_id, message, wparam, lparam);
}

// Everything waiting in the queue, a bounded number of messages at a time so that a window that
// keeps asking to be painted cannot hold the update: input is dropped, a quit request is put
// back for the loop that owns it, and everything else, sent messages and painting included, is
// dispatched as the window's own loop would.
void ui_answer_messages()
{
    constexpr int MOST_MESSAGES = 256;
    MSG message;
    for (int i = 0; i < MOST_MESSAGES && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (is_input_message(message.message)) {
            continue;
        }
        DispatchMessageA(&message);
    }
}
