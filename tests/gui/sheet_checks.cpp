// The scenarios' checks, on GoogleTest: a failed check is a failure of the running scenario,
// with what was seen and what was expected; nothing stops at the first failure.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <prsht.h>

#include <cstdarg>
#include <cstdio>

#include "tests/gui/gui_checks.h"

void check_failed(const char* format, ...)
{
    char text[1024];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ADD_FAILURE() << text;
}

void expect_text(const std::string& what, const std::string& actual, const std::string& expected)
{
    EXPECT_EQ(quoted(actual), quoted(expected)) << what;
}

void expect_int(const std::string& what, long long actual, long long expected)
{
    EXPECT_EQ(actual, expected) << what;
}

void expect_page(HWND p, const std::string& name, const char* revision, const char* status, long long bar)
{
    const PageView v = view(p);
    expect_text(name + " revision", v.revision, revision);
    expect_text(name + " status", v.status, status);
    expect_int(name + " progress bar", v.bar, bar);
}

void check_and_close_box(HWND box, const char* expected_text)
{
    const BoxView v = box_view(box);
    expect_text("message box caption", v.caption, APP_MESSAGE_CAPTION);
    expect_text("message box text", v.text, expected_text);
    expect_int("icons in the message box", v.icons, 1);
    expect_int("buttons in the message box", static_cast<long long>(v.buttons.size()), 1);
    expect_text("message box button", v.buttons.empty() ? "" : v.buttons.back(), "OK");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (!wait_for(BOX_TIMEOUT_MS, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        check_failed("the message box did not close");
    }
}

void expect_exit_without_window(HWND sheet)
{
    HWND unexpected = nullptr;
    const bool exited = wait_for(EXIT_TIMEOUT_MS, [&] {
        for (HWND window : tool_windows()) {
            if (window != sheet) {
                unexpected = window;
            }
        }
        return unexpected != nullptr || tool_exited();
    });
    if (unexpected != nullptr) {
        check_failed("unexpected window %s (%s)", quoted(text_of(unexpected)).c_str(), class_of(unexpected).c_str());
        return;
    }
    if (!exited) {
        check_failed("the tool did not end");
        return;
    }
    expect_int("exit code", tool_exit_code(), 0);
}

void close_and_expect_end(HWND sheet, bool power_off_message)
{
    close_sheet(sheet, PSBTN_OK);
    if (power_off_message) {
        HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
        if (box == nullptr) {
            check_failed("no power-off message after the sheet closed");
        } else {
            check_and_close_box(box, APP_POWER_OFF_TEXT);
        }
    }
    expect_exit_without_window(sheet);
}

void check_question(HWND box, const std::string& expected_text, HWND owner)
{
    const BoxView v = box_view(box);
    expect_text("question caption", v.caption, APP_MESSAGE_CAPTION);
    expect_text("question text", v.text, expected_text);
    expect_int("icons in the question", v.icons, 1);
    std::string buttons;
    for (const std::string& b : v.buttons) {
        buttons += (buttons.empty() ? "" : ",") + b;
    }
    expect_text("the question's buttons", buttons, "Yes,No");
    expect_text("the question's default button", v.default_button, "No");
    if (v.owner != owner) {
        check_failed("the question is owned by %p, not by the sheet %p", static_cast<void*>(v.owner),
                     static_cast<void*>(owner));
    }
    if (owner != nullptr && IsWindowEnabled(owner)) {
        check_failed("the sheet takes input while the question is up");
    }
}

void expect_box_then_exit(const char* expected_text, long long exit_code)
{
    HWND box = wait_dialog(START_TIMEOUT_MS, nullptr);
    if (box == nullptr) {
        check_failed("the tool ended with exit code %lld and showed nothing", tool_exit_code());
        return;
    }
    if (text_of(box) == APP_SHEET_CAPTION) {
        check_failed("the tool opened its sheet");
        return;
    }
    take_shot("box", true);
    const BoxView v = box_view(box);
    expect_text("message box caption", v.caption, APP_MESSAGE_CAPTION);
    expect_text("message box text", v.text, expected_text);
    expect_int("icons in the message box", v.icons, 1);
    expect_int("buttons in the message box", static_cast<long long>(v.buttons.size()), 1);
    if (v.owner != nullptr) {
        check_failed("the message box has an owner window");
    }
    click_box_button(box, "OK");
    if (!wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); })) {
        check_failed("the tool did not end after its message");
        return;
    }
    expect_int("exit code", tool_exit_code(), exit_code);
    expect_int("windows left", static_cast<long long>(tool_windows().size()), 0);
}

