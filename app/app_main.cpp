// Start-up and the card sheet: one property-sheet page per card, run modally.
#include "app/app.h"

#include <cstddef>

#include <commctrl.h>
#include <prsht.h>

#include "app/resources/resource.h"
#include "card/driver.h"
#include "xsvf/player.h"

int UpdateSucceeded = 0;

namespace {

// The page record is the version that ends with the two header-title fields, and the sheet
// header the version that carries the watermark and header-bitmap fields. The common-controls
// library steps through the page array by each record's dwSize, so the array's element must
// be exactly that version.
using PageRecord = PROPSHEETPAGEA_V2;
using SheetHeader = PROPSHEETHEADERA;

static_assert(sizeof(PageRecord) == offsetof(PageRecord, pszHeaderSubTitle) + sizeof(LPCSTR),
              "the page record ends with the header-title fields");
static_assert(sizeof(SheetHeader) == offsetof(SheetHeader, hbmHeader) + sizeof(HBITMAP),
              "the sheet header ends with the header-bitmap field");
#if defined(_WIN64)
static_assert(sizeof(PageRecord) == 88, "64-bit page record with the header-title fields");
static_assert(sizeof(SheetHeader) == 96, "64-bit sheet header with the watermark fields");
#else
static_assert(sizeof(PageRecord) == 48, "32-bit page record with the header-title fields");
static_assert(sizeof(SheetHeader) == 52, "32-bit sheet header with the watermark fields");
#endif

constexpr int TITLE_SIZE = 20;

// The pages use the progress bar class; it must be registered before the first page
// is created.
void register_progress_class()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}

} // namespace

int app_main(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LogLevel = 0;

    if (!driver_probe(0, 0)) {
        return 0;
    }
    if (CardCount < 1 || CardCount > MAX_CARDS) {
        return 0;
    }

    register_progress_class();

    // Zeroed so that no field the library might look at holds stack garbage.
    char titles[MAX_CARDS][TITLE_SIZE] = {};
    PageRecord pages[MAX_CARDS] = {};
    for (std::int32_t i = 0; i < CardCount; ++i) {
        wsprintfA(titles[i], "Card %d", static_cast<int>(i + 1));
        PageRecord& page = pages[i];
        page.dwSize = sizeof(PageRecord);
        page.dwFlags = PSP_USETITLE;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEA(IDD_CARD_PAGE);
        page.hIcon = nullptr;
        page.pszTitle = titles[i];
        page.pfnDlgProc = card_page_proc;
        page.lParam = static_cast<LPARAM>(i);
    }

    SheetHeader header{};
    header.dwSize = sizeof(SheetHeader);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = nullptr;
    header.pszCaption = APP_SHEET_CAPTION;
    header.nPages = static_cast<UINT>(CardCount);
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);

    PropertySheetA(&header);

    if (UpdateSucceeded != 0) {
        MessageBoxA(nullptr, APP_POWER_OFF_TEXT, APP_MESSAGE_CAPTION, MB_ICONINFORMATION);
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    return app_main(instance, previous, command_line, show);
}
