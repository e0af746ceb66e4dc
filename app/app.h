// The application shell: the entry function that runs the card sheet, and the card page.
#pragma once

#include <cstdint>

#include <windows.h>

#include "app/resources/resource.h"

// The hardware revision from which a card counts as up to date.
constexpr std::int32_t CURRENT_REVISION = MOLA_HW_REVISION;

// 1 once any update has finished successfully; read after the sheet has closed.
extern int UpdateSucceeded;

// Runs the tool: probes the driver, shows one page per card, and asks for a power-off after
// a successful update. Returns the process exit code: 0, or APP_EXIT_NO_CARD or
// APP_EXIT_ALREADY_RUNNING when the tool cannot start.
int app_main(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

// The tool's message boxes: caption APP_MESSAGE_CAPTION, owned by `owner` (null: none). Keys
// and clicks given before the box appeared are dropped first, so that none of them answers it
// unseen; those given once it shows act as usual.
int app_message_box(HWND owner, const char* text, UINT type);

// The dialog procedure of a card page.
INT_PTR CALLBACK card_page_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
