// What code below the application shell asks of the window system: a message to a control
// of a dialog, handled before the call returns (the progress display), and a moment for the
// thread to answer its windows during an update that runs on it.
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

// Lets the thread answer its windows for a moment during a long operation that runs on it (an
// update): messages sent to them are answered and they repaint, and the keys and clicks given
// meanwhile are dropped as they arrive, so that none of them acts once the operation ends.
// Called at every percent step of the progress and on either side of every sleep of the port.
void ui_answer_messages();
