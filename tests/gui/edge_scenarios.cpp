// What a person meets at the tool's edges, with real clicks and keys: Enter on the Update
// button, the interface question holding the sheet, a second copy of the tool, a card newer
// than the tool, and a computer on a low battery.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

#include "tests/gui/gui_checks.h"
#include "tests/gui/gui_scenarios.h"

namespace {

// How long the sheet must stay open and unchanged to show that nothing else happens.
constexpr DWORD QUIET_MS = 2000;

long long bar_of(HWND p)
{
    return static_cast<long long>(send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

void click(HWND control)
{
    mouse_click(center_of(control));
}

// The one message box of the tool that shows now; fails when none or more than one shows.
HWND the_box(HWND sheet)
{
    HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (box == nullptr) {
        check_failed("no message box appeared");
        return nullptr;
    }
    Sleep(QUIET_MS / 4);
    int boxes = 0;
    for (HWND window : tool_windows()) {
        boxes += window != sheet && class_of(window) == "#32770" ? 1 : 0;
    }
    expect_int("message boxes on screen", boxes, 1);
    return box;
}

// The sheet stays open and the page keeps its texts and bar for a while.
void expect_page_stays(HWND sheet, HWND p, const PageView& before)
{
    Sleep(QUIET_MS);
    if (!IsWindow(sheet) || !IsWindowVisible(sheet) || tool_exited()) {
        check_failed("the sheet closed");
        return;
    }
    const PageView now = view(p);
    expect_text("status", now.status, before.status);
    expect_int("progress bar", now.bar, before.bar);
}

// ---- Enter ----

void enter_updates(HWND sheet)
{
    HWND p = page(sheet, 0);
    HWND update = GetDlgItem(p, IDOK);
    if (!wait_for(REACTION_MS, [&] { return focus_of(sheet) == update; })) {
        check_failed("at start the focus is on %s, not on Update", describe(focus_of(sheet)).c_str());
    }
    // Enter on Update with no interface chosen: the page asks for one, the sheet stays.
    key_press(VK_RETURN);
    HWND box = the_box(sheet);
    if (box == nullptr) {
        return;
    }
    expect_text("the box", box_text(box), APP_CHOOSE_INTERFACE_TEXT);
    click_box_button(box, "OK");
    // PCI with the mouse, back to Update with Shift+Tab, Enter: the update runs.
    if (!click_radio(GetDlgItem(p, IDC_PCI))) {
        return;
    }
    take_shot("pci-chosen");
    if (!move_focus_to(sheet, update, VK_SHIFT, VK_TAB, "Update")) {
        return;
    }
    take_shot("update-focused");
    key_press(VK_RETURN);
    expect_text("result", wait_result(p), "Success");
    expect_page_stays(sheet, p, PageView{"9\n", "Success", 100});
    // Enter on the sheet's own OK still closes the sheet.
    if (!move_focus_to(sheet, GetDlgItem(sheet, IDOK), 0, VK_TAB, "the sheet's OK")) {
        return;
    }
    key_press(VK_RETURN);
    HWND message = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (message == nullptr) {
        check_failed("no power-off message after Enter on the sheet's OK");
        return;
    }
    check_and_close_box(message, APP_POWER_OFF_TEXT);
    expect_exit_without_window(sheet);
}

// ---- the interface question holds the sheet ----

void interface_box_holds_sheet(HWND sheet)
{
    HWND p = page(sheet, 0);
    const PageView before = view(p);
    HWND update = GetDlgItem(p, IDOK);
    const POINT update_point = center_of(update);
    const POINT cancel_point = center_of(GetDlgItem(sheet, IDCANCEL));
    mouse_click(update_point);
    HWND box = the_box(sheet);
    if (box == nullptr) {
        return;
    }
    RECT covered{};
    GetWindowRect(box, &covered);
    if (PtInRect(&covered, update_point) || PtInRect(&covered, cancel_point)) {
        check_failed("the box covers Update or Cancel: the clicks would not reach the sheet");
    }
    if (GetWindow(box, GW_OWNER) != sheet || IsWindowEnabled(sheet)) {
        check_failed("the box is not owned by the sheet, or the sheet still takes input");
    }
    // Impatient clicks on the sheet behind the box: Update again, then Cancel.
    mouse_click(update_point);
    mouse_click(cancel_point);
    the_box(sheet);
    click_box_button(box, "OK");
    // Neither click acted: no second box, and the sheet stays open as it was.
    HWND second = nullptr;
    wait_for(QUIET_MS, [&] { return (second = wait_dialog(0, sheet)) != nullptr; });
    if (second != nullptr) {
        check_failed("a second box %s followed", quoted(box_text(second)).c_str());
        return;
    }
    expect_page_stays(sheet, p, before);
    close_and_expect_end(sheet, false);
}

// ---- a second copy ----

void second_copy(HWND sheet)
{
    // Each second copy, and the label of the picture of what it says.
    const char* const copies[][2] = {{"MolaFlashSim.exe", "box"}, {"MolaFlash.exe", "molaflash-box"}};
    for (const auto& [exe, shot] : copies) {
        PROCESS_INFORMATION other{};
        if (!start_tool(exe, nullptr, &other)) {
            continue;
        }
        HWND box = nullptr;
        wait_for(START_TIMEOUT_MS, [&] {
            for (HWND window : windows_of(other.dwProcessId)) {
                box = window;
            }
            return box != nullptr || WaitForSingleObject(other.hProcess, 0) == WAIT_OBJECT_0;
        });
        if (box == nullptr) {
            check_failed("the second %s ended and said nothing", exe);
        } else if (text_of(box) == APP_SHEET_CAPTION) {
            check_failed("the second %s opened a second sheet", exe);
            TerminateProcess(other.hProcess, 99);
        } else {
            take_shot(shot, true);
            const BoxView v = box_view(box);
            expect_text(std::string(exe) + " box text", v.text, APP_SECOND_COPY_TEXT);
            expect_text(std::string(exe) + " box caption", v.caption, APP_MESSAGE_CAPTION);
            expect_int(std::string(exe) + " box buttons", static_cast<long long>(v.buttons.size()), 1);
            if (v.owner != nullptr) {
                check_failed("the second copy's box has an owner");
            }
            click_box_button(box, "OK");
            DWORD code = 0;
            if (WaitForSingleObject(other.hProcess, EXIT_TIMEOUT_MS) != WAIT_OBJECT_0) {
                check_failed("the second %s did not end", exe);
                TerminateProcess(other.hProcess, 99);
            } else if (GetExitCodeProcess(other.hProcess, &code)) {
                std::printf("  the second %s ended with exit code %lu\n", exe, code);
                expect_int(std::string(exe) + " exit code", code, APP_EXIT_ALREADY_RUNNING);
            }
        }
        CloseHandle(other.hProcess);
        CloseHandle(other.hThread);
    }
    // The first copy goes on as if nothing had happened.
    HWND p = page(sheet, 0);
    expect_page(p, "page 1", "9\n", "Not updated", 0);
    choose(p, IDC_PCI);
    press_update(p);
    expect_page(p, "page 1", "9\n", "Success", 100);
    close_and_expect_end(sheet, true);
}

// ---- questions before an update ----

struct Question {
    const char* name;
    Settings settings;
    const char* revision;  // of the card on page 1
    const char* status;    // its status before the update
    std::string question;  // the question's text, or empty when none may come
};

std::string low_battery_question(int percent)
{
    return "This computer runs on battery at " + std::to_string(percent) +
           " %.\n\nIf the power fails during the update, the card can be left unusable until it is updated again "
           "on mains power. Connect the computer to mains power first.\n\nUpdate anyway?";
}

const Question QUESTIONS[] = {
    {"newer-card", {{"MOLA_SIM_CARDS", "pci:11"}}, "11\n", "Up-to-date",
     "This card has hardware revision 11, newer than revision 10, which this tool writes.\n\nUpdating would "
     "replace the card's newer logic with this older one, and this tool cannot bring the newer one back.\n\n"
     "Update this card anyway?"},
    {"battery-low", {{"MOLA_SIM_POWER", "battery:10"}}, "9\n", "Not updated", low_battery_question(10)},
    {"battery-critical", {{"MOLA_SIM_POWER", "critical"}}, "9\n", "Not updated", APP_CRITICAL_BATTERY_TEXT},
    {"battery-at-24", {{"MOLA_SIM_POWER", "battery:24"}}, "9\n", "Not updated", low_battery_question(24)},
    {"battery-at-25", {{"MOLA_SIM_POWER", "battery:25"}}, "9\n", "Not updated", ""},
    {"battery-80", {{"MOLA_SIM_POWER", "battery:80"}}, "9\n", "Not updated", ""},
    {"mains-power", {{"MOLA_SIM_POWER", "ac"}}, "9\n", "Not updated", ""},
    {"power-unknown", {{"MOLA_SIM_POWER", "unknown"}}, "9\n", "Not updated", ""},
    // A card at the tool's own revision updates as before, without a question.
    {"same-revision", {{"MOLA_SIM_CARDS", "pci:10"}}, "10\n", "Up-to-date", ""},
};

// Chooses PCI and clicks Update; with a question expected, checks it, answers No (Enter on
// the default button) and checks that nothing changed, then clicks Update again and answers
// Yes. The update must end in "Success".
const Question* Asking = nullptr; // the row whose sheet the skeleton hands to ask

void ask(HWND sheet)
{
    const Question& q = *Asking;
    HWND p = page(sheet, 0);
    const PageView before{q.revision, q.status, 0};
    expect_page(p, "page 1 at start", q.revision, q.status, 0);
    if (!click_radio(GetDlgItem(p, IDC_PCI))) {
        return;
    }
    HWND update = GetDlgItem(p, IDOK);
    if (!q.question.empty()) {
        click(update);
        HWND box = the_box(sheet);
        if (box == nullptr) {
            return;
        }
        // Asked before anything happened: no percent has shown.
        expect_text("status while asked", shown_text(GetDlgItem(p, IDC_STATUS)), q.status);
        check_question(box, q.question, sheet);
        take_shot("question", true);
        key_press(VK_RETURN);
        if (!wait_for(BOX_TIMEOUT_MS, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
            check_failed("Enter did not answer the question");
            return;
        }
        expect_page_stays(sheet, p, before);
        expect_text("revision after No", view(p).revision, q.revision);
        click(update);
        box = the_box(sheet);
        if (box == nullptr) {
            return;
        }
        click_box_button(box, "Yes");
    } else {
        click(update);
        std::string status;
        wait_for(UPDATE_TIMEOUT_MS, [&] {
            status = shown_text(GetDlgItem(p, IDC_STATUS));
            return wait_dialog(0, sheet) != nullptr || is_result(status);
        });
        if (HWND box = wait_dialog(0, sheet)) {
            check_failed("a box asked %s", quoted(box_text(box)).c_str());
            return;
        }
    }
    expect_text("result", wait_result(p), "Success");
    expect_int("progress bar", bar_of(p), 100);
    close_and_expect_end(sheet, true);
}

// After "Failed" one message says which card, why, whether it was changed and what to do;
// after OK the page still shows where the update stopped, and Update works again. A CardBus
// card updated with PCI: nothing changed, choose CardBus. A card that drops off the bus half
// way: its logic may be incomplete, do not switch off. No message after "Success".
void failure_messages(HWND sheet)
{
    struct Failure {
        int radio;
        const char* message;
        const char* shot;
    } const failures[] = {
        {IDC_PCI,
         "Card 1 was not updated.\n\nThe card did not answer as a PCI card.\n\nNothing on the card was changed.\n\n"
         "A PCI card needs PCI and a CardBus card needs CardBus. If this is a CardBus card, choose CardBus and "
         "press Update again.",
         "wrong-interface"},
        {IDC_PCI,
         "Card 2 was not updated.\n\nThe card stopped answering during the update, or what was written to it could "
         "not be verified.\n\nThe card's logic may be incomplete now. Do not switch the computer off before an "
         "update of this card has succeeded.\n\nPress Update again. If it fails again, keep the computer on and "
         "see \"After Failed\" in the user's guide.",
         "incomplete"},
    };
    for (int i = 0; i < 2; ++i) {
        const Failure& f = failures[i];
        HWND p = page(sheet, i);
        choose(p, f.radio);
        post_update(p);
        expect_text(f.shot, wait_result(p, false), "Failed");
        const long long bar = send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0);
        if (HWND box = wait_failure_box(p)) {
            take_shot(f.shot, true);
            expect_text(std::string(f.shot) + " message", LastFailureMessage, f.message);
            click_box_button(box, "OK");
        }
        std::printf("  card %d stopped with the bar at %lld\n", i + 1, bar);
        expect_page(p, std::string(f.shot) + " after OK", "9\n", "Failed", bar);
    }
    // The first card again, with its own interface: no message.
    HWND p = page(sheet, 0);
    choose(p, IDC_CARDBUS);
    press_update(p);
    expect_page(p, "CardBus after the message", "9\n", "Success", 100);
    Sleep(QUIET_MS);
    if (HWND box = wait_dialog(0, sheet)) {
        check_failed("a message after \"Success\": %s", quoted(box_text(box)).c_str());
    }
    close_and_expect_end(sheet, true);
}

const Scenario EDGE_SCENARIOS[] = {
    {"failure-messages", {{"MOLA_SIM_CARDS", "cardbus:9,pci:9"}, {"MOLA_SIM_FAULTS", "vanish@1"}}, failure_messages},
    {"enter-updates", {{"MOLA_SIM_CARDS", "pci:9"}}, enter_updates, true},
    {"interface-box-holds-sheet", {}, interface_box_holds_sheet, true},
    {"second-copy", {}, second_copy},
};

} // namespace

std::span<const Scenario> edge_scenarios()
{
    return EDGE_SCENARIOS;
}

bool run_question_scenario(const char* name)
{
    for (const Question& q : QUESTIONS) {
        if (std::string(name) == q.name) {
            Asking = &q;
            run_sheet_scenario({q.name, q.settings, ask, true});
            return true;
        }
    }
    return false;
}

void list_question_scenarios()
{
    for (const Question& q : QUESTIONS) {
        std::printf("%s\n", q.name);
    }
}
