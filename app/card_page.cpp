// The card page: shows a card's hardware revision and whether it is up to date, and runs an
// update of the card with the chosen interface's program when Update is pressed.
#include "app/app.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

#include "app/card_update.h"
#include "app/failure_message.h"
#include "app/power_check.h"
#include "app/resources/resource.h"
#include "card/driver.h"
#include "images/image_source.h"
#include "platform/os.h"
#include "xsvf/log.h"
#include "xsvf/update.h"

namespace {

constexpr int TEXT_SIZE = 32;
constexpr int QUESTION_SIZE = 512;

// The revision each card had when its page opened; a card whose page could not read it is
// read again when its Update is pressed.
std::int32_t PageRevision[MAX_CARDS];
bool PageRevisionKnown[MAX_CARDS];

// The sheet's own window procedure, under the one that routes Enter to the pages.
WNDPROC SheetProcedure = nullptr;
HWND RoutedSheet = nullptr;

void set_item_text(HWND page, int item, const char* text)
{
    SendDlgItemMessageA(page, item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// While a card is written, the sheet answers every message, but nothing that reaches it may
// end the update half way: a close request (the close box, Alt+F4, the taskbar's Close, a
// WM_CLOSE sent from outside), a button of the sheet, a change of page, a suspend or the end
// of the session. True, with *result set, for a message refused in this way.
bool refused_while_writing(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result)
{
    if (UpdatingCard < 0) {
        return false;
    }
    *result = 0;
    switch (message) {
    case WM_CLOSE:
    case WM_COMMAND:
    case PSM_PRESSBUTTON:
    case PSM_SETCURSEL:
    case PSM_SETCURSELID:
    case WM_QUERYENDSESSION:
        return true;
    case WM_SYSCOMMAND:
        return (wparam & 0xFFF0) == SC_CLOSE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lparam)->code == static_cast<UINT>(TCN_SELCHANGING)) {
            *result = TRUE;
            return true;
        }
        return false;
    case WM_POWERBROADCAST:
        if (wparam == PBT_APMQUERYSUSPEND) {
            *result = BROADCAST_QUERY_DENY;
            return true;
        }
        return false;
    case WM_ENDSESSION:
        // The session ends anyway (a forced end): the log of a half-written card says why.
        if (wparam != 0 && player_log_on(0)) {
            std::printf("ERROR:  Card %d, %s program: the session ended during the update; the card's logic may "
                        "be incomplete\n",
                        static_cast<int>(UpdatingCard + 1), UpdatingProgram);
            std::fflush(stdout);
        }
        return false;
    default:
        return false;
    }
}

// Enter on a focused Update button reaches the sheet as a command with the button's id, 1,
// which is also the sheet's own OK: the sheet would close without an update. Such a command,
// when it comes from a control of one of the pages, goes to that page instead, as a click or
// Space on the button does; Enter on the sheet's own OK still closes the sheet.
LRESULT CALLBACK sheet_procedure(HWND sheet, UINT message, WPARAM wparam, LPARAM lparam)
{
    LRESULT refused = 0;
    if (refused_while_writing(message, wparam, lparam, &refused)) {
        return refused;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == IDOK && lparam != 0) {
        HWND control = reinterpret_cast<HWND>(lparam);
        HWND owner = GetParent(control);
        if (owner != sheet && owner != nullptr && GetParent(owner) == sheet) {
            SendMessageA(owner, WM_COMMAND, wparam, lparam);
            return 0;
        }
    }
    return CallWindowProcA(SheetProcedure, sheet, message, wparam, lparam);
}

void route_enter_to_pages(HWND sheet)
{
    if (sheet == nullptr || sheet == RoutedSheet) {
        return;
    }
    RoutedSheet = sheet;
    SheetProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sheet_procedure)));
}

bool valid_card(std::int32_t card)
{
    return card >= 0 && card < MAX_CARDS;
}

// Asks a Yes/No question in a box owned by the sheet, so that the sheet takes no input while
// it is up; No is the default. True for Yes.
bool ask(HWND page, const char* question)
{
    return app_message_box(GetParent(page), question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// The log line of an update that the person declined, so that whoever reads the log knows
// why the card was not written.
void log_declined(std::int32_t card, const char* program, const char* reason)
{
    if (player_log_on(0)) {
        std::printf("Card %d, %s program: not updated: %s\n", static_cast<int>(card + 1), program, reason);
    }
}

// The card's revision as its page read it, or read now when the page could not; false when
// it cannot be read now either (the update's own probe then fails and says so).
bool card_revision(std::int32_t card, std::int32_t* revision)
{
    if (!PageRevisionKnown[card]) {
        if (!driver_probe(card, 0)) {
            return false;
        }
        PageRevision[card] = HardwareRevision;
        PageRevisionKnown[card] = true;
    }
    *revision = PageRevision[card];
    return true;
}

// A card newer than this tool would lose its logic for an older one that this tool cannot
// undo: only on the person's Yes.
bool newer_card_confirmed(HWND page, std::int32_t card, const char* program)
{
    std::int32_t revision = 0;
    if (!card_revision(card, &revision) || revision <= CURRENT_REVISION) {
        return true;
    }
    char question[QUESTION_SIZE];
    wsprintfA(question, APP_NEWER_CARD_FORMAT, static_cast<int>(revision), static_cast<int>(CURRENT_REVISION));
    if (ask(page, question)) {
        return true;
    }
    char reason[96];
    wsprintfA(reason, "its hardware revision %d is newer than this tool's %d", static_cast<int>(revision),
              static_cast<int>(CURRENT_REVISION));
    log_declined(card, program, reason);
    return false;
}

// An update that the power cuts off part of the way leaves the card's logic half written:
// on a low battery, only on the person's Yes.
bool power_confirmed(HWND page, std::int32_t card, const char* program)
{
    OsPowerStatus power{};
    const int known = os_get_power_status(&power);
    const PowerRisk risk = app_power_risk(known, power);
    if (risk == PowerRisk::None) {
        return true;
    }
    char question[QUESTION_SIZE];
    char reason[96];
    if (risk == PowerRisk::CriticalBattery) {
        wsprintfA(question, "%s", APP_CRITICAL_BATTERY_TEXT);
        wsprintfA(reason, "the computer runs on battery, its charge critical");
    } else {
        wsprintfA(question, APP_LOW_BATTERY_FORMAT, static_cast<int>(power.battery_percent));
        wsprintfA(reason, "the computer runs on battery at %d %%", static_cast<int>(power.battery_percent));
    }
    if (ask(page, question)) {
        return true;
    }
    log_declined(card, program, reason);
    return false;
}

INT_PTR on_init_dialog(HWND page, const PROPSHEETPAGEA* record)
{
    const auto card = static_cast<std::int32_t>(record->lParam);
    SetWindowLongPtrA(page, DWLP_USER, static_cast<LONG_PTR>(card));
    route_enter_to_pages(GetParent(page));

    if (!driver_probe(card, 0)) {
        HardwareRevision = -1;
        // No revision was read: the page says that the card could not be reached rather
        // than show the template's texts, which read like a blank card.
        set_item_text(page, IDC_REVISION, APP_UNKNOWN_REVISION_TEXT);
        set_item_text(page, IDC_STATUS, APP_UNREACHABLE_TEXT);
        return 1;
    }
    if (valid_card(card)) {
        PageRevision[card] = HardwareRevision;
        PageRevisionKnown[card] = true;
    }

    char text[TEXT_SIZE];
    wsprintfA(text, "%d\n", static_cast<int>(HardwareRevision));
    set_item_text(page, IDC_REVISION, text);

    wsprintfA(text, HardwareRevision < CURRENT_REVISION ? "Not updated" : "Up-to-date");
    set_item_text(page, IDC_STATUS, text);
    return 1;
}

void on_update(HWND page)
{
    // A press that reaches a page while a card is written (a message answered during the
    // update) starts nothing: one update at a time.
    if (UpdatingCard >= 0) {
        return;
    }
    CardModel model = CARD_MODEL_PCI;
    if (IsDlgButtonChecked(page, IDC_PCI) != 0) {
        model = CARD_MODEL_PCI;
    } else if (IsDlgButtonChecked(page, IDC_CARDBUS) != 0) {
        model = CARD_MODEL_CARDBUS;
    } else {
        // Owned by the sheet, so that the sheet takes no clicks while the box is up.
        app_message_box(GetParent(page), APP_CHOOSE_INTERFACE_TEXT, MB_ICONINFORMATION);
        return;
    }
    const char* program = card_model_of(model).name;

    const auto card = static_cast<std::int32_t>(GetWindowLongPtrA(page, DWLP_USER));
    if (!valid_card(card) || !newer_card_confirmed(page, card, program) || !power_confirmed(page, card, program)) {
        std::fflush(stdout);
        return;
    }

    // Each run starts with an empty bar, so that the bar always shows the run whose result
    // the text beside it gives.
    SendDlgItemMessageA(page, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    const std::int32_t result = app_update_card(card, model, page, GetParent(page));
    if (result != 0 && player_log_on(0)) {
        std::printf("ERROR:  Card %d, %s program: %s\n", static_cast<int>(card + 1), program,
                    player_failure_text(result));
    }
    // Standard output redirected to a file or a pipe is fully buffered: the lines of a failed
    // run would otherwise wait in the buffer until the tool ends, and be lost if it never
    // ends normally (the computer is switched off, the tool is stopped).
    std::fflush(stdout);

    // Every result but 0 fails: the player's error, or UPDATE_NOT_MAPPED when the card could
    // not be probed or its register block could not be mapped. That card was not touched and
    // nothing needed releasing, but the page must still tell the person that no update took
    // place.
    char text[TEXT_SIZE];
    if (result != 0) {
        wsprintfA(text, "Failed");
    } else {
        wsprintfA(text, "Success");
        UpdateSucceeded = 1;
    }
    set_item_text(page, IDC_STATUS, text);

    // "Failed" alone tells the person neither why nor whether the card was touched: one box,
    // owned by the sheet, says both and what to do next, once the page shows where the update
    // stopped.
    if (result != 0) {
        char message[FAILURE_MESSAGE_SIZE];
        app_failure_message(message, sizeof message, card, model, result);
        app_message_box(GetParent(page), message, MB_ICONWARNING);
    }
}

} // namespace

INT_PTR CALLBACK card_page_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        return on_init_dialog(page, reinterpret_cast<const PROPSHEETPAGEA*>(lparam));
    }
    if (message == WM_COMMAND && LOWORD(wparam) == IDOK) {
        on_update(page);
    }
    return 0;
}
