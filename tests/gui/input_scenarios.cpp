// Scenarios with input as a person gives it: mouse clicks and keys through the system's input
// queue. During an update (real clock, so that it lasts seconds) the page cannot respond;
// whatever the person did meanwhile must not be acted on afterwards, and the result must
// stay on screen. And the interface can be chosen, and Update pressed, with the keyboard.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <string>

#include "tests/gui/gui_checks.h"
#include "tests/gui/gui_scenarios.h"

namespace {

// How long the result must stay on screen, untouched, after an update.
constexpr DWORD QUIET_MS = 3000;

bool checked(HWND button)
{
    return send(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Clicks the interface and then Update, and waits until the page shows progress.
bool start_update_by_mouse(HWND p, int radio)
{
    if (!click_radio(GetDlgItem(p, radio))) {
        return false;
    }
    mouse_click(center_of(GetDlgItem(p, IDOK)));
    HWND status = GetDlgItem(p, IDC_STATUS);
    if (!wait_for(START_TIMEOUT_MS, [&] { return is_percent(shown_text(status)); })) {
        check_failed("clicking Update started no update: the page shows %s", quoted(shown_text(status)).c_str());
        return false;
    }
    return true;
}

// Input is only a test of the fix when it was given while the update still ran.
void expect_still_running(HWND p, const char* input)
{
    const std::string status = shown_text(GetDlgItem(p, IDC_STATUS));
    if (!is_percent(status)) {
        check_failed("the update had ended (%s) before %s was given", quoted(status).c_str(), input);
    } else {
        std::printf("  %s given at %s\n", input, status.c_str());
    }
}

// For a while after the update the sheet stays open, answers, and shows the result unchanged:
// nothing given during the update runs now.
void expect_result_stays(HWND sheet, HWND p, const std::string& result)
{
    HWND status = GetDlgItem(p, IDC_STATUS);
    const ULONGLONG end = GetTickCount64() + QUIET_MS;
    while (GetTickCount64() < end) {
        if (!IsWindow(sheet) || !IsWindowVisible(sheet)) {
            check_failed("the sheet closed after the update had shown %s", quoted(result).c_str());
            return;
        }
        const std::string now = shown_text(status);
        if (now != result) {
            check_failed("after %s the page shows %s: input given during the update was acted on",
                         quoted(result).c_str(), quoted(now).c_str());
            return;
        }
        Sleep(20);
    }
    if (!responsive(sheet, REACTION_MS)) {
        check_failed("the tool is busy again after the update");
    }
}

void double_update(HWND sheet)
{
    HWND p = page(sheet, 0);
    if (!start_update_by_mouse(p, IDC_PCI)) {
        return;
    }
    mouse_click(center_of(GetDlgItem(p, IDOK)));
    expect_still_running(p, "a second click on Update");
    const std::string result = wait_result(p);
    expect_text("result", result, "Success");
    expect_result_stays(sheet, p, "Success");
    close_and_expect_end(sheet, true);
}

void cancel_during_update(HWND sheet)
{
    // The card stops answering part of the way: the update fails.
    HWND p = page(sheet, 0);
    if (!start_update_by_mouse(p, IDC_PCI)) {
        return;
    }
    mouse_click(center_of(GetDlgItem(sheet, IDCANCEL)));
    mouse_click(close_box_point(sheet));
    expect_still_running(p, "Cancel and the close button");
    const std::string result = wait_result(p);
    expect_text("result", result, "Failed");
    expect_result_stays(sheet, p, "Failed");
    // Cancel clicked now, with the result on screen, closes the sheet.
    mouse_click(center_of(GetDlgItem(sheet, IDCANCEL)));
    expect_exit_without_window(sheet);
}

void keys_during_update(HWND sheet)
{
    HWND p = page(sheet, 0);
    if (!start_update_by_mouse(p, IDC_PCI)) {
        return;
    }
    if (GetForegroundWindow() != sheet) {
        check_failed("the sheet is not in front after the clicks: keys would go elsewhere");
    }
    key_press(VK_ESCAPE);
    key_chord(VK_MENU, VK_F4);
    expect_still_running(p, "Escape and Alt+F4");
    const std::string result = wait_result(p);
    expect_text("result", result, "Failed");
    expect_result_stays(sheet, p, "Failed");
    // Escape pressed now, with the result on screen, closes the sheet.
    key_press(VK_ESCAPE);
    expect_exit_without_window(sheet);
}

// A person who keeps pressing Escape and Alt+F4 through most of an update: nothing of it
// closes the sheet, and the power-off message that OK brings later stays until it is clicked.
void typeahead(HWND sheet)
{
    HWND p = page(sheet, 0);
    if (!start_update_by_mouse(p, IDC_PCI)) {
        return;
    }
    HWND status = GetDlgItem(p, IDC_STATUS);
    int presses = 0;
    std::string last;
    for (std::string text = shown_text(status); is_percent(text) && std::stoi(text) < 90; text = shown_text(status)) {
        key_press(VK_ESCAPE);
        key_chord(VK_MENU, VK_F4);
        ++presses;
        last = text;
        Sleep(250);
    }
    std::printf("  Escape and Alt+F4 given %d times while the update ran, the last at %s\n", presses, last.c_str());
    if (presses < 10) {
        check_failed("only %d times Escape and Alt+F4 while the update ran", presses);
    }
    expect_text("result", wait_result(p), "Success");
    expect_result_stays(sheet, p, "Success");
    mouse_click(center_of(GetDlgItem(sheet, IDOK)));
    HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (box == nullptr) {
        check_failed("no power-off message after OK");
        return;
    }
    Sleep(QUIET_MS);
    if (!IsWindowVisible(box) || tool_exited()) {
        check_failed("the power-off message went away unclicked");
        return;
    }
    check_and_close_box(box, APP_POWER_OFF_TEXT);
    expect_exit_without_window(sheet);
}

void tab_and_drag_during_update(HWND sheet)
{
    HWND p = page(sheet, 0);
    const POINT second_tab = tab_point(sheet, 1);
    RECT before{};
    GetWindowRect(sheet, &before);
    if (!start_update_by_mouse(p, IDC_PCI)) {
        return;
    }
    mouse_click(second_tab);
    const POINT grip = caption_point(sheet);
    mouse_drag(grip, POINT{grip.x + 150, grip.y + 100});
    expect_still_running(p, "a click on tab Card 2 and a drag of the title bar");
    const std::string result = wait_result(p);
    expect_text("result", result, "Success");
    expect_result_stays(sheet, p, "Success");
    expect_int("selected tab", current_tab(sheet), 0);
    expect_int("page 1 visible", IsWindowVisible(p) ? 1 : 0, 1);
    RECT after{};
    GetWindowRect(sheet, &after);
    if (after.left != before.left || after.top != before.top) {
        check_failed("the sheet moved from %ld,%ld to %ld,%ld", before.left, before.top, after.left, after.top);
    }
    close_and_expect_end(sheet, true);
}

void keyboard_only(HWND sheet)
{
    HWND p = reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    HWND pci = GetDlgItem(p, IDC_PCI);
    HWND cardbus = GetDlgItem(p, IDC_CARDBUS);
    HWND update = GetDlgItem(p, IDOK);
    // Tab to the interface pair, an arrow key to CardBus, back to Update, Space.
    if (!move_focus_to(sheet, pci, 0, VK_TAB, "PCI")) {
        return;
    }
    key_press(VK_DOWN);
    if (!wait_for(REACTION_MS, [&] { return focus_of(sheet) == cardbus && checked(cardbus); })) {
        check_failed("Down arrow on PCI left the focus on %s, CardBus %s", describe(focus_of(sheet)).c_str(),
                     checked(cardbus) ? "chosen" : "not chosen");
        return;
    }
    expect_int("PCI chosen", checked(pci) ? 1 : 0, 0);
    if (!move_focus_to(sheet, update, VK_SHIFT, VK_TAB, "Update")) {
        return;
    }
    key_press(VK_SPACE);
    HWND status = GetDlgItem(p, IDC_STATUS);
    std::string result;
    wait_for(UPDATE_TIMEOUT_MS, [&] {
        result = shown_text(status);
        return is_result(result) || wait_dialog(0, sheet) != nullptr;
    });
    if (HWND box = wait_dialog(0, sheet)) {
        check_failed("Space on Update opened the box %s", quoted(box_text(box)).c_str());
        return;
    }
    expect_text("result", result, "Success");
    expect_int("CardBus still chosen", checked(cardbus) ? 1 : 0, 1);
    expect_int("progress bar", send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    close_and_expect_end(sheet, true);
}

// A whole session by mouse, as the user's guide shows it, with a picture at each step: the
// sheet at start, the interface chosen, the update running, "Success", the wrong interface's
// "Failed" on the second card, and the power-off message.
void tour(HWND sheet)
{
    HWND p = page(sheet, 0);
    expect_page(p, "page 1 at start", "9\n", "Not updated", 0);
    take_shot("start");
    if (!click_radio(GetDlgItem(p, IDC_PCI))) {
        return;
    }
    take_shot("interface-chosen");
    mouse_click(center_of(GetDlgItem(p, IDOK)));
    HWND status = GetDlgItem(p, IDC_STATUS);
    // A picture part of the way: from a quarter on.
    if (!wait_for(UPDATE_TIMEOUT_MS, [&] {
            const std::string text = shown_text(status);
            return is_result(text) || (is_percent(text) && std::stoi(text) >= 25);
        })) {
        check_failed("the update showed no progress");
        return;
    }
    take_shot("running");
    expect_text("result", wait_result(p), "Success");
    expect_int("progress bar", send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    take_shot("success");

    // The second card is a CardBus card: PCI, the wrong interface, fails at its start. Its tab
    // is clicked where it shows; where the tool's memory cannot be reached to find that place
    // (an emulated 32-bit tool), the keyboard brings it: Tab to the tabs, then the right arrow.
    tab_titles(sheet);
    if (TabTextsUnreadable) {
        HWND tabs = reinterpret_cast<HWND>(send(sheet, PSM_GETTABCONTROL, 0, 0));
        if (!move_focus_to(sheet, tabs, 0, VK_TAB, "the tabs")) {
            return;
        }
        key_press(VK_RIGHT);
    } else {
        mouse_click(tab_point(sheet, 1));
    }
    if (!wait_for(BOX_TIMEOUT_MS, [&] { return current_tab(sheet) == 1; })) {
        check_failed("the second card's tab did not come to the front");
        return;
    }
    HWND second = reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    mouse_click(center_of(GetDlgItem(second, IDC_PCI)));
    mouse_click(center_of(GetDlgItem(second, IDOK)));
    expect_text("second card's result", wait_result(second), "Failed");
    take_shot("failed");

    mouse_click(center_of(GetDlgItem(sheet, IDOK)));
    HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (box == nullptr) {
        check_failed("no power-off message after OK");
        return;
    }
    take_shot("power-off", true);
    check_and_close_box(box, APP_POWER_OFF_TEXT);
    expect_exit_without_window(sheet);
}

const Scenario INPUT_SCENARIOS[] = {
    {"tour", {{"MOLA_SIM_CLOCK", "real"}}, tour, true},
    {"double-update", {{"MOLA_SIM_CLOCK", "real"}}, double_update, true},
    {"cancel-during-update", {{"MOLA_SIM_CLOCK", "real"}, {"MOLA_SIM_FAULTS", "vanish@0"}}, cancel_during_update, true},
    {"keys-during-update", {{"MOLA_SIM_CLOCK", "real"}, {"MOLA_SIM_FAULTS", "vanish@0"}}, keys_during_update, true},
    {"typeahead", {{"MOLA_SIM_CLOCK", "real"}}, typeahead, true},
    {"tab-and-drag-during-update", {{"MOLA_SIM_CLOCK", "real"}}, tab_and_drag_during_update, true},
    {"keyboard-only", {{"MOLA_SIM_CARDS", "cardbus:9"}}, keyboard_only, true},
};

} // namespace

std::span<const Scenario> input_scenarios()
{
    return INPUT_SCENARIOS;
}
