// The sheet, its pages, message boxes, and the end of the tool.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <thread>

// Only among the started tool's own windows: a sheet of another copy, or one of an earlier
// run still on its way out, is not the one to work.
HWND wait_dialog(DWORD timeout_ms, HWND except, const char* caption)
{
    HWND found = nullptr;
    wait_for(timeout_ms, [&] {
        for (HWND window : tool_windows()) {
            if (window != except && class_of(window) == "#32770" &&
                (caption == nullptr || text_of(window) == caption)) {
                found = window;
                return true;
            }
        }
        return tool_exited();
    });
    return found;
}

HWND find_sheet()
{
    HWND sheet = wait_dialog(START_TIMEOUT_MS, nullptr, APP_SHEET_CAPTION);
    if (sheet == nullptr) {
        check_failed("no window \"%s\" appeared", APP_SHEET_CAPTION);
    }
    return sheet;
}

namespace {

// Waits until a new window is ready for a hand: in front, and no longer moving into place.
// False when it never comes to the front.
bool wait_settled(HWND window, DWORD timeout_ms)
{
    RECT last{};
    GetWindowRect(window, &last);
    return wait_for(timeout_ms, [&] {
        Sleep(50);
        RECT now{};
        GetWindowRect(window, &now);
        const bool still = EqualRect(&now, &last) != 0;
        last = now;
        return still && GetForegroundWindow() == window;
    });
}

std::string without_access_keys(std::string s)
{
    std::erase(s, '&');
    return s;
}

bool is_icon(HWND child)
{
    return class_of(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

// Clicks `target` with the mouse until `taken` holds: a person whose first click is not taken
// (seldom, under Wine) clicks again, and the driver prints `second` when that one was.
template <typename Condition>
bool click_twice(HWND target, DWORD timeout_ms, Condition taken, const std::string& second)
{
    for (int clicks = 1; clicks <= 2; ++clicks) {
        mouse_click(center_of(target));
        if (wait_for(timeout_ms, taken)) {
            if (clicks > 1) {
                std::printf("  %s\n", second.c_str());
            }
            return true;
        }
    }
    return false;
}

} // namespace

HWND start_sheet(const Settings& settings, bool for_input)
{
    set_simulation(settings);
    HWND sheet = start_tool() ? find_sheet() : nullptr;
    if (sheet == nullptr || !for_input) {
        return sheet;
    }
    if (!wait_settled(sheet, START_TIMEOUT_MS)) {
        check_failed("the sheet is not in front: clicks and keys would go elsewhere");
        return nullptr;
    }
    if (!responsive(sheet, REACTION_MS)) {
        check_failed("the sheet is in front but does not answer");
        return nullptr;
    }
    return sheet;
}

HWND page(HWND sheet, int index)
{
    send(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    HWND p = reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (p == nullptr) {
        check_failed("page %d has no window", index + 1);
    }
    return p;
}

PageView view(HWND p)
{
    return PageView{.revision = text_of(GetDlgItem(p, IDC_REVISION)),
                    .status = text_of(GetDlgItem(p, IDC_STATUS)),
                    .bar = static_cast<long long>(send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0))};
}

void choose(HWND p, int radio)
{
    HWND button = GetDlgItem(p, radio);
    send(button, BM_CLICK, 0, 0);
    if (send(button, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        check_failed("radio button %d did not become checked", radio);
    }
    const int other = radio == IDC_PCI ? IDC_CARDBUS : IDC_PCI;
    if (send(GetDlgItem(p, other), BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
        check_failed("choosing radio button %d left %d checked", radio, other);
    }
}

void press_update(HWND p)
{
    // Sent from a thread of its own: the press returns only when the handler does, after the
    // message that a failed update shows has been closed here.
    std::atomic<bool> returned{false};
    std::thread press([&] {
        send(p, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(p, IDOK)));
        returned = true;
    });
    HWND sheet = GetParent(p);
    HWND box = nullptr;
    wait_for(UPDATE_TIMEOUT_MS, [&] { return returned || (box = wait_dialog(0, sheet)) != nullptr; });
    if (!returned && box != nullptr) {
        if (shown_text(GetDlgItem(p, IDC_STATUS)) == "Failed" && (box = wait_failure_box(p)) != nullptr) {
            click_box_button(box, "OK");
        } else {
            check_failed("Update brought the box %s", quoted(box_text(box)).c_str());
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
    }
    if (!wait_for(UPDATE_TIMEOUT_MS, [&] { return returned.load(); })) {
        check_failed("the press on Update never returned");
        press.detach();
        return;
    }
    press.join();
}

void post_update(HWND p)
{
    PostMessageA(p, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(p, IDOK)));
}

std::string box_text(HWND box)
{
    for (HWND child : children(box)) {
        if (class_of(child) == "Static" && !is_icon(child)) {
            const std::string text = text_of(child);
            if (!text.empty()) {
                return text;
            }
        }
    }
    return "";
}

void close_sheet(HWND sheet, int button)
{
    PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
    if (!wait_for(EXIT_TIMEOUT_MS, [&] { return !IsWindow(sheet) || !IsWindowVisible(sheet); })) {
        check_failed("the sheet did not close");
    }
}

BoxView box_view(HWND box)
{
    BoxView v;
    v.caption = text_of(box);
    v.text = box_text(box);
    v.owner = GetWindow(box, GW_OWNER);
    for (HWND child : children(box)) {
        if (is_icon(child)) {
            ++v.icons;
        } else if (class_of(child) == "Button" && IsWindowVisible(child)) {
            const std::string text = without_access_keys(text_of(child));
            v.buttons.push_back(text);
            if ((GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                v.default_button = text;
            }
        }
    }
    return v;
}

void click_box_button(HWND box, const char* text)
{
    HWND button = nullptr;
    for (HWND child : children(box)) {
        if (class_of(child) == "Button" && IsWindowVisible(child) && without_access_keys(text_of(child)) == text) {
            button = child;
        }
    }
    if (button == nullptr) {
        check_failed("the box %s has no button %s", quoted(box_text(box)).c_str(), text);
        return;
    }
    wait_settled(box, REACTION_MS);
    const auto closed = [&] { return !IsWindow(box) || !IsWindowVisible(box); };
    if (!click_twice(button, BOX_TIMEOUT_MS / 2, closed,
                     "the box " + quoted(box_text(box)) + " closed at the second click on " + text)) {
        check_failed("two clicks on %s did not close the box", text);
    }
}

bool click_radio(HWND button)
{
    const auto chosen = [&] { return send(button, BM_GETCHECK, 0, 0) == BST_CHECKED; };
    const std::string name = quoted(text_of(button));
    if (click_twice(button, REACTION_MS, chosen, name + " was chosen at the second click")) {
        return true;
    }
    check_failed("two clicks on %s did not choose it", name.c_str());
    return false;
}

bool is_percent(const std::string& s)
{
    return s.size() >= 3 && std::isdigit(static_cast<unsigned char>(s[0])) != 0 &&
           s.compare(s.size() - 2, 2, " %") == 0;
}

bool is_result(const std::string& s)
{
    return s == "Success" || s == "Failed";
}

std::string LastFailureMessage;

HWND wait_failure_box(HWND p)
{
    HWND sheet = GetParent(p);
    HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (box == nullptr) {
        check_failed("no message after \"Failed\"");
        return nullptr;
    }
    const BoxView v = box_view(box);
    LastFailureMessage = v.text;
    const std::string button = v.buttons.size() == 1 ? v.buttons[0] : "not one button";
    if (v.caption != APP_MESSAGE_CAPTION || v.icons != 1 || button != "OK") {
        check_failed("the failure message is not the tool's box with one icon and OK: caption %s, %d icons, %s",
                     quoted(v.caption).c_str(), v.icons, quoted(button).c_str());
    }
    if (v.owner != sheet) {
        check_failed("the failure message is owned by %p, not by the sheet %p", static_cast<void*>(v.owner),
                     static_cast<void*>(sheet));
    }
    if (IsWindowEnabled(sheet)) {
        check_failed("the sheet takes input while the failure message is up");
    }
    if (v.text.rfind("Card ", 0) != 0 || v.text.find(" was not updated.\n\n") == std::string::npos) {
        check_failed("the failure message does not begin by naming the card: %s", quoted(v.text).c_str());
    }
    return box;
}

std::string wait_result(HWND p, bool close_failure_box)
{
    HWND status = GetDlgItem(p, IDC_STATUS);
    std::string text;
    wait_for(UPDATE_TIMEOUT_MS, [&] {
        if (!IsWindow(status) || tool_exited()) {
            return true;
        }
        text = shown_text(status);
        return is_result(text);
    });
    if (text == "Failed" && close_failure_box) {
        if (HWND box = wait_failure_box(p)) {
            click_box_button(box, "OK");
        }
    }
    return text;
}
