// Dialog item messages on Windows.
#include "platform/ui.h"

#include <windows.h>

#include "platform/win32/input_messages.h"

std::intptr_t ui_send_item_message(WindowHandle dialog, int item_id, unsigned message,
                                   std::uintptr_t wparam, std::intptr_t lparam)
{
    return SendDlgItemMessageA(static_cast<HWND>(dialog), item_id, message, wparam, lparam);
}

// Everything waiting in the queue but a quit request, which stays for the loop that owns it, a
// bounded number of messages at a time so that a window that keeps asking to be painted cannot
// hold the update: input is dropped, and everything else, sent messages and painting
// included, is dispatched as the window's own loop would.
void ui_answer_messages()
{
    constexpr int MOST_MESSAGES = 256;
    constexpr MessageRange ALL_BUT_QUIT[] = {{0, WM_QUIT - 1}, {WM_QUIT + 1, 0xFFFFFFFFu}};
    MSG message;
    int handled = 0;
    for (const MessageRange& range : ALL_BUT_QUIT) {
        while (handled < MOST_MESSAGES && PeekMessageA(&message, nullptr, range.first, range.last, PM_REMOVE)) {
            ++handled;
            if (!is_input_message(message.message)) {
                DispatchMessageA(&message);
            }
        }
    }
}
