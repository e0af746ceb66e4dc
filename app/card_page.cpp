// The card page: shows a card's hardware revision and whether it is up to date, and runs an
// update of the card with the chosen interface's program when Update is pressed.
#include "app/app.h"

#include <prsht.h>

#include "app/resources/resource.h"
#include "card/driver.h"
#include "card/port.h"
#include "images/image_source.h"
#include "platform/regs.h"
#include "xsvf/player.h"

namespace {

constexpr int TEXT_SIZE = 32;

// Values written to control word 0 around an update.
constexpr std::uint32_t CONTROL_BEFORE_UPDATE = 8;
constexpr std::uint32_t CONTROL_AFTER_UPDATE = 16;

void set_item_text(HWND page, int item, const char* text)
{
    SendDlgItemMessageA(page, item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
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
    if (IsDlgButtonChecked(page, IDC_PCI) != 0) {
        SelectedImage = PciImage;
    } else if (IsDlgButtonChecked(page, IDC_CARDBUS) != 0) {
        SelectedImage = CardBusImage;
    } else {
        MessageBoxA(nullptr, APP_CHOOSE_INTERFACE_TEXT, APP_MESSAGE_CAPTION, MB_ICONINFORMATION);
        return;
    }
    SelectedImageLength = IMAGE_LENGTH;

    const auto card = static_cast<std::int32_t>(GetWindowLongPtrA(page, DWLP_USER));
    if (!driver_probe(card, 1)) {
        return;
    }

    reg_write(RegisterPointer, CONTROL_BEFORE_UPDATE);
    port_set_tms(1);

    ImageReadIndex = 0;
    LastPercent = 0;
    ProgressPage = page;
    const std::int32_t result = player_execute();

    char text[TEXT_SIZE];
    if (result != 0) {
        wsprintfA(text, "Failed");
    } else {
        wsprintfA(text, "Success");
        UpdateSucceeded = 1;
    }

    reg_write(RegisterPointer, CONTROL_AFTER_UPDATE);
    driver_release();
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
