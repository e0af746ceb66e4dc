// Start-up and the card sheet: one property-sheet page per card, run modally.
#include "app/app.h"

#include <cstddef>

#include <commctrl.h>
#include <prsht.h>

#include "app/resources/resource.h"
#include "card/driver.h"
#include "platform/os.h"
#include "platform/win32/input_messages.h"
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

// Makes the named lock; null when it cannot, with *held set when another copy holds it
// (another user's copy answers with access denied).
HANDLE make_lock(const char* name, bool* held)
{
    SetLastError(ERROR_SUCCESS);
    HANDLE lock = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (lock != nullptr && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        lock = nullptr;
    }
    *held = error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
    return lock;
}

// One copy at a time: two players on one card's JTAG port would ruin its programming. Returns
// the lock that this copy holds until it ends, or null, with *another_copy set when another
// copy holds it. On the NT line the lock is in the global namespace, so that a copy in
// another session counts too; where that namespace does not exist (Windows 9x, whose names
// take no backslash, and NT without sessions) the plain name is the machine's one namespace.
// A lock that cannot be made for another reason does not stop the tool.
HANDLE claim_one_copy(bool* another_copy)
{
    if (os_nt_line()) {
        HANDLE lock = make_lock("Global\\" APP_INSTANCE_NAME, another_copy);
        if (lock != nullptr || *another_copy) {
            return lock;
        }
    }
    return make_lock(APP_INSTANCE_NAME, another_copy);
}

void release(HANDLE lock)
{
    if (lock != nullptr) {
        CloseHandle(lock);
    }
}

// Why no sheet can open, in words, for the message that ends the tool.
void say_no_card()
{
    char count_text[512];
    const char* text = APP_BAD_ANSWER_TEXT;
    switch (LastProbeFailure) {
    case ProbeFailure::NotFound:
        text = APP_NO_DRIVER_TEXT;
        break;
    case ProbeFailure::NoAnswer:
        text = APP_NO_ANSWER_TEXT;
        break;
    case ProbeFailure::BadCount:
        wsprintfA(count_text, APP_CARD_COUNT_FORMAT, static_cast<int>(CardCount), static_cast<int>(MAX_CARDS));
        text = count_text;
        break;
    default:
        break;
    }
    app_message_box(nullptr, text, MB_ICONWARNING);
}

// The classes the sheet uses must be registered before the first page is created: the
// progress bar, the sheet's tabs and, from version 6 of the common controls (which the
// manifest asks for), the buttons and texts, which that version draws in the system's style.
// InitCommonControlsEx is looked up, not imported: the common-controls library of the first
// Windows 95 release lacks it (it registers every class when it loads), and an import of it
// would keep the tool from loading there. The version-6 classes go in a call of their own, as
// older versions may refuse a flag they do not know.
void register_control_classes()
{
    using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE library = GetModuleHandleA("comctl32.dll");
    FARPROC found = library != nullptr ? GetProcAddress(library, "InitCommonControlsEx") : nullptr;
    if (found == nullptr) {
        return;
    }
    const auto init = reinterpret_cast<InitControls>(reinterpret_cast<void (*)()>(found));
    for (const DWORD classes : {DWORD{ICC_PROGRESS_CLASS | ICC_TAB_CLASSES}, DWORD{ICC_STANDARD_CLASSES}}) {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = classes;
        init(&controls);
    }
}

// One page per card, run modally until the sheet closes.
void run_sheet(HINSTANCE instance)
{
    register_control_classes();

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
}

} // namespace

int app_message_box(HWND owner, const char* text, UINT type)
{
    drop_queued_input();
    return MessageBoxA(owner, text, APP_MESSAGE_CAPTION, type);
}

int app_main(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    LogLevel = 0;

    bool another_copy = false;
    HANDLE one_copy = claim_one_copy(&another_copy);
    if (another_copy) {
        app_message_box(nullptr, APP_SECOND_COPY_TEXT, MB_ICONWARNING);
        return APP_EXIT_ALREADY_RUNNING;
    }

    // A person who starts the tool and sees nothing cannot tell what is wrong, and an exit
    // code of 0 would report success: the tool says why it cannot go on, and ends with
    // APP_EXIT_NO_CARD.
    if (!driver_probe(0, 0)) {
        say_no_card();
        release(one_copy);
        return APP_EXIT_NO_CARD;
    }
    if (CardCount < 1 || CardCount > MAX_CARDS) {
        LastProbeFailure = ProbeFailure::BadCount;
        say_no_card();
        release(one_copy);
        return APP_EXIT_NO_CARD;
    }

    run_sheet(instance);

    if (UpdateSucceeded != 0) {
        app_message_box(nullptr, APP_POWER_OFF_TEXT, MB_ICONINFORMATION);
    }
    release(one_copy);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    return app_main(instance, previous, command_line, show);
}
