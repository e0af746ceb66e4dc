// The one window message that code below the application shell sends: a message to a
// control of a dialog, handled before the call returns (the progress display).
//
// Sides, chosen at link time:
//   platform/win32/ui_win32.cpp   SendDlgItemMessageA (both Windows executables);
//   sim/ui_recording.cpp          a recording sink for tests;
//   devtools/xsvf                 a progress line on standard error.
#pragma once

#include <cstdint>

using WindowHandle = void*;

// Message numbers used with ui_send_item_message (same numbers as Win32).
constexpr unsigned UI_WM_SETTEXT = 0x000C;
constexpr unsigned UI_PBM_SETPOS = 0x0402;

std::intptr_t ui_send_item_message(WindowHandle dialog, int item_id, unsigned message,
                                   std::uintptr_t wparam, std::intptr_t lparam);
