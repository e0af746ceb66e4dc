// The card page: shows a card's hardware revision and whether it is up to date, and runs an
// update of the card with the chosen interface's program when Update is pressed.
#include "app/app.h"

#include <prsht.h>

#include <cstdio>

#include "app/resources/resource.h"
#include "card/driver.h"
#include "images/image_source.h"
#include "xsvf/update.h"

namespace {

constexpr int TEXT_SIZE = 32;

void set_item_text(HWND page, int item, const char* text)
{
    SendDlgItemMessageA(page, item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Removes the input messages in [first, last] that are queued for this thread and were given
// no later than `until` (a GetTickCount time).
void drop_input(UINT first, UINT last, DWORD until)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, first, last, PM_NOREMOVE) &&
           static_cast<LONG>(message.time - until) <= 0) {
        PeekMessageA(&message, nullptr, first, last, PM_REMOVE);
    }
}

// The update runs inside the Update handler, so keys and clicks given meanwhile wait in the
// queue. Run afterwards they would act on a page that the person could not see respond: a
// second update, a sheet closed before its result was seen, another tab, a moved window.
// They are dropped: keyboard, client-area mouse and title-bar (non-client) mouse messages
// given up to the end of the update. Peeking still delivers messages sent to the sheet, and
// every other queued message, painting included, stays for the sheet's own loop.
void drop_input_given_during_update(DWORD update_end)
{
    drop_input(WM_KEYFIRST, WM_KEYLAST, update_end);
    drop_input(WM_MOUSEFIRST, WM_MOUSELAST, update_end);
    drop_input(WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, update_end);
}

INT_PTR on_init_dialog(HWND page, const PROPSHEETPAGEA* record)
{
    const auto card = static_cast<std::int32_t>(record->lParam);
    SetWindowLongPtrA(page, DWLP_USER, static_cast<LONG_PTR>(card));

    if (!driver_probe(card, 0)) {
        HardwareRevision = -1;
        return 1;
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
    const std::uint8_t* program = nullptr;
    if (IsDlgButtonChecked(page, IDC_PCI) != 0) {
        program = PciImage;
    } else if (IsDlgButtonChecked(page, IDC_CARDBUS) != 0) {
        program = CardBusImage;
    } else {
        MessageBoxA(nullptr, APP_CHOOSE_INTERFACE_TEXT, APP_MESSAGE_CAPTION, MB_ICONINFORMATION);
        return;
    }

    const auto card = static_cast<std::int32_t>(GetWindowLongPtrA(page, DWLP_USER));
    const std::int32_t result = player_update_card(card, program, IMAGE_LENGTH, page);
    drop_input_given_during_update(GetTickCount());
    // Standard output redirected to a file or a pipe is fully buffered: the lines of a failed
    // run would otherwise wait in the buffer until the tool ends, and be lost if it never
    // ends normally (the computer is switched off, the tool is stopped).
    std::fflush(stdout);

    // Every result but 0 fails: the player's error, or UPDATE_NOT_MAPPED when the card's
    // register block could not be mapped. That card was not touched and nothing needed
    // releasing, but the page must still tell the person that no update took place.
    char text[TEXT_SIZE];
    if (result != 0) {
        wsprintfA(text, "Failed");
    } else {
        wsprintfA(text, "Success");
        UpdateSucceeded = 1;
    }
    set_item_text(page, IDC_STATUS, text);
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
