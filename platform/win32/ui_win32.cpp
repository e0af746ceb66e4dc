// Dialog item messages on Windows.
#include "platform/ui.h"

#include <windows.h>

std::intptr_t ui_send_item_message(WindowHandle dialog, int item_id, unsigned message,
                                   std::uintptr_t wparam, std::intptr_t lparam)
{
    return SendDlgItemMessageA(static_cast<HWND>(dialog), item_id, message, wparam, lparam);
}
