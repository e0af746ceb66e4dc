// Input as a person gives it (sheet_driver.h says how it reaches the tool), and where it went.
#include "devtools/sheet_driver/sheet_driver.h"

#include <cstdio>

namespace {

// Pause between the events of one gesture, so that each is a separate event in the queue,
// as a hand makes them.
constexpr DWORD GESTURE_STEP_MS = 30;
// Most presses of Tab a person needs to reach a control of a page.
constexpr int MAX_TABS = 10;

void send_inputs(INPUT* inputs, UINT count)
{
    const UINT sent = SendInput(count, inputs, sizeof(INPUT));
    if (sent != count) {
        check_failed("SendInput delivered %u of %u events (error %lu)", sent, count, GetLastError());
    }
}

// Each event carries its place on the screen: a pointer moved only beforehand can be moved
// back by a late report of the display's own pointer before the button event is taken, and
// the click lands elsewhere (seen with two displays' scenarios at once on a busy machine).
void mouse_event_at(POINT at, DWORD flags)
{
    if (!SetCursorPos(at.x, at.y)) {
        check_failed("cannot move the pointer to %ld,%ld", at.x, at.y);
    }
    const LONG width = GetSystemMetrics(SM_CXSCREEN);
    const LONG height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = width > 1 ? (at.x * 65535 + (width - 1) / 2) / (width - 1) : 0;
    input.mi.dy = height > 1 ? (at.y * 65535 + (height - 1) / 2) / (height - 1) : 0;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    send_inputs(&input, 1);
    Sleep(GESTURE_STEP_MS);
}

void key_event(WORD key, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = flags;
    send_inputs(&input, 1);
    Sleep(GESTURE_STEP_MS);
}

} // namespace

POINT center_of(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

POINT caption_point(HWND top_level)
{
    RECT r{};
    GetWindowRect(top_level, &r);
    const int frame = GetSystemMetrics(SM_CYFIXEDFRAME);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    return POINT{r.left + (r.right - r.left) / 3, r.top + frame + caption / 2};
}

POINT close_box_point(HWND top_level)
{
    RECT r{};
    GetWindowRect(top_level, &r);
    const int frame = GetSystemMetrics(SM_CXFIXEDFRAME);
    const int button = GetSystemMetrics(SM_CXSIZE);
    return POINT{r.right - frame - button / 2, caption_point(top_level).y};
}

void mouse_click(POINT at)
{
    mouse_event_at(at, MOUSEEVENTF_LEFTDOWN);
    mouse_event_at(at, MOUSEEVENTF_LEFTUP);
}

void mouse_drag(POINT from, POINT to)
{
    mouse_event_at(from, MOUSEEVENTF_LEFTDOWN);
    constexpr int STEPS = 5;
    for (int i = 1; i <= STEPS; ++i) {
        mouse_event_at(POINT{from.x + (to.x - from.x) * i / STEPS, from.y + (to.y - from.y) * i / STEPS}, 0);
    }
    mouse_event_at(to, MOUSEEVENTF_LEFTUP);
}

void key_press(WORD key)
{
    key_event(key, 0);
    key_event(key, KEYEVENTF_KEYUP);
}

void key_chord(WORD modifier, WORD key)
{
    key_event(modifier, 0);
    key_press(key);
    key_event(modifier, KEYEVENTF_KEYUP);
}

HWND focus_of(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

std::string shown_text(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool responsive(HWND window, DWORD timeout_ms)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

std::string describe(HWND window)
{
    if (window == nullptr) {
        return "nothing";
    }
    return class_of(window) + " " + std::to_string(static_cast<short>(GetDlgCtrlID(window))) + " " +
           quoted(text_of(window));
}

bool move_focus_to(HWND sheet, HWND target, WORD modifier, WORD key, const char* target_name)
{
    std::string trail = describe(focus_of(sheet));
    for (int presses = 0; presses <= MAX_TABS; ++presses) {
        if (wait_for(REACTION_MS / 2, [&] { return focus_of(sheet) == target; })) {
            std::printf("  %s reached with %d key presses\n", target_name, presses);
            return true;
        }
        if (presses > 0) {
            trail += ", " + describe(focus_of(sheet));
        }
        if (modifier != 0) {
            key_chord(modifier, key);
        } else {
            key_press(key);
        }
    }
    check_failed("the keys never brought the focus to %s; it went to: %s", target_name, trail.c_str());
    return false;
}
