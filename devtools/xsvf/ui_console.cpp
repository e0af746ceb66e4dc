// The progress display of the xsvf tool: the percent as a line on standard error, redrawn
// in place, when standard error is a terminal.
#include <cstdio>

#include "platform/ui.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

bool XsvfProgressShown = false;

std::intptr_t ui_send_item_message(WindowHandle, int, unsigned message, std::uintptr_t wparam, std::intptr_t)
{
    static const bool terminal = isatty(fileno(stderr)) != 0;
    if (terminal && message == UI_PBM_SETPOS) {
        std::fprintf(stderr, "\r%3u %%", static_cast<unsigned>(wparam));
        std::fflush(stderr);
        XsvfProgressShown = true;
    }
    return 1;
}

// A console has no windows to answer.
void ui_answer_messages()
{
}
