// The messages that carry a person's keys and clicks (keyboard, mouse in a window and on its
// frame), for the places that drop input given while the tool could not act on it.
#pragma once

#include <windows.h>

struct MessageRange {
    UINT first;
    UINT last;
};
inline constexpr MessageRange INPUT_MESSAGES[] = {
    {WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};

inline bool is_input_message(UINT message)
{
    for (const MessageRange& range : INPUT_MESSAGES) {
        if (message >= range.first && message <= range.last) {
            return true;
        }
    }
    return false;
}

// Removes the keys and clicks waiting in this thread's queue.
inline void drop_queued_input()
{
    MSG message;
    for (const MessageRange& range : INPUT_MESSAGES) {
        while (PeekMessageA(&message, nullptr, range.first, range.last, PM_REMOVE)) {
        }
    }
}
