// Checks of what the executables carry and what a live page is made of: the dialog
// template of the card page, the version information, and the page's controls.
#include "tests/gui/gui_checks.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>

#include "app/app.h"
#include "devtools/sheet_driver/sheet_driver.h"

std::string expected_sheet_caption()
{
    char text[64];
    std::snprintf(text, sizeof text, "MOLA Flash Update Tool, HW Revision %03d", static_cast<int>(CURRENT_REVISION));
    return text;
}

std::string expected_version_text()
{
    char text[64];
    std::snprintf(text, sizeof text, "%d, %d, %d, %d", MOLA_VERSION_MAJOR, MOLA_VERSION_MINOR, MOLA_VERSION_PATCH,
                  MOLA_VERSION_TWEAK);
    return text;
}

namespace {


struct TemplateReader {
    const std::uint8_t* p;
    const std::uint8_t* end;
    bool overrun = false;

    std::uint16_t word()
    {
        if (p + 2 > end) {
            overrun = true;
            return 0;
        }
        std::uint16_t v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    std::uint32_t dword()
    {
        const std::uint32_t lo = word();
        return lo | (static_cast<std::uint32_t>(word()) << 16);
    }
    // A string or 0xFFFF and an ordinal, written "#N" for the ordinal.
    std::string sz_or_ordinal()
    {
        std::uint16_t first = word();
        if (first == 0xFFFF) {
            return "#" + std::to_string(word());
        }
        std::string s;
        while (first != 0 && !overrun) {
            s += static_cast<char>(first);
            first = word();
        }
        return s;
    }
    void align4(const std::uint8_t* base)
    {
        while ((p - base) % 4 != 0) {
            ++p;
        }
    }
};

std::string lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

struct ExpectedItem {
    std::uint16_t id;
    const char* cls; // "#128" button, "#130" static, or a class name
    const char* text;
    std::uint32_t style;
    short x, y, cx, cy;
};

constexpr ExpectedItem PAGE_ITEMS[] = {
    {1, "#128", "Update", 0x50010001, 132, 84, 52, 16},
    {1001, "#130", "0", 0x50020000, 96, 8, 88, 8},
    {1009, "msctls_progress32", "Progress1", 0x50800001, 8, 44, 176, 12},
    {1002, "#130", "not programmed", 0x50020000, 96, 24, 88, 8},
    {65535, "#130", "Hardware Revision", 0x50020000, 8, 8, 80, 8},
    {65535, "#130", "Programming Status", 0x50020000, 8, 24, 80, 8},
    {65535, "#128", "Interface", 0x50000007, 8, 64, 52, 36},
    // PCI begins the radio pair's group and is its tab stop (WS_GROUP | WS_TABSTOP).
    {1010, "#128", "PCI", 0x50030009, 12, 76, 44, 10},
    {1011, "#128", "CardBus", 0x50000009, 12, 88, 42, 10},
};

std::string version_string(const std::vector<char>& info, const char* name, bool* present)
{
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    *present = VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) != 0;
    return *present && value != nullptr ? std::string(value) : std::string();
}

} // namespace

void check_dialog_template(HMODULE module, const std::string& exe)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (found == nullptr) {
        check_failed("%s: no dialog template 101", exe.c_str());
        return;
    }
    const auto* base = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    TemplateReader r{base, base + SizeofResource(module, found)};
    const std::string t = exe + " template ";
    expect_int(t + "style", r.dword(), 0x90C800C4);
    expect_int(t + "extended style", r.dword(), 0);
    const std::uint16_t items = r.word();
    expect_int(t + "item count", items, 9);
    expect_int(t + "x", static_cast<short>(r.word()), 0);
    expect_int(t + "y", static_cast<short>(r.word()), 0);
    expect_int(t + "cx", static_cast<short>(r.word()), 206);
    expect_int(t + "cy", static_cast<short>(r.word()), 110);
    expect_text(t + "menu", r.sz_or_ordinal(), "");
    expect_text(t + "class", r.sz_or_ordinal(), "");
    expect_text(t + "caption", r.sz_or_ordinal(), expected_sheet_caption());
    expect_int(t + "font size", r.word(), 8);
    expect_text(t + "font", r.sz_or_ordinal(), "MS Sans Serif");
    for (std::size_t i = 0; i < items && i < std::size(PAGE_ITEMS) && !r.overrun; ++i) {
        const ExpectedItem& e = PAGE_ITEMS[i];
        const std::string n = t + "item " + std::to_string(i + 1) + " ";
        r.align4(base);
        expect_int(n + "style", r.dword(), e.style);
        expect_int(n + "extended style", r.dword(), 0);
        expect_int(n + "x", static_cast<short>(r.word()), e.x);
        expect_int(n + "y", static_cast<short>(r.word()), e.y);
        expect_int(n + "cx", static_cast<short>(r.word()), e.cx);
        expect_int(n + "cy", static_cast<short>(r.word()), e.cy);
        expect_int(n + "id", r.word(), e.id);
        // Window class names are not case-sensitive; the resource compiler upper-cases them.
        expect_text(n + "class", lower(r.sz_or_ordinal()), lower(e.cls));
        expect_text(n + "text", r.sz_or_ordinal(), e.text);
        expect_int(n + "creation data size", r.word(), 0);
    }
    if (r.overrun) {
        check_failed("%s: the template ends early", t.c_str());
    }
}

void check_version_info(const std::string& path, const std::string& exe, const char* file_name)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) {
        check_failed("%s has no version information", exe.c_str());
        return;
    }
    std::vector<char> info(size);
    GetFileVersionInfoA(path.c_str(), 0, size, info.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
        check_failed("%s has no fixed version information", exe.c_str());
        return;
    }
    const std::string v = exe + " version ";
    // The version of version.env, as its two 32-bit halves.
    const DWORD high = MOLA_VERSION_MAJOR << 16 | MOLA_VERSION_MINOR;
    const DWORD low = MOLA_VERSION_PATCH << 16 | MOLA_VERSION_TWEAK;
    expect_int(v + "file version high", fixed->dwFileVersionMS, high);
    expect_int(v + "file version low", fixed->dwFileVersionLS, low);
    expect_int(v + "product version high", fixed->dwProductVersionMS, high);
    expect_int(v + "product version low", fixed->dwProductVersionLS, low);
    expect_int(v + "flags mask", fixed->dwFileFlagsMask, 0x3F);
    expect_int(v + "flags", fixed->dwFileFlags, 0);
    expect_int(v + "operating system", fixed->dwFileOS, 0x40004);
    expect_int(v + "file type", fixed->dwFileType, 1);

    WORD* translation = nullptr;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 4) {
        check_failed("%s has no translation entry", exe.c_str());
    } else {
        expect_int(v + "language", translation[0], 0x0409);
        expect_int(v + "code page", translation[1], 1200);
    }

    const std::string version = expected_version_text();
    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", version.c_str()},
        {"ProductVersion", version.c_str()},
        {"FileDescription", "MOLA Flash Update Tool"},
        {"ProductName", "MOLA Flash Update Tool"},
        {"Comments", ""},
        {"LegalTrademarks", ""},
        {"PrivateBuild", ""},
        {"SpecialBuild", ""},
        {"OriginalFilename", file_name},
    };
    for (const auto& [name, expected] : strings) {
        bool present = false;
        const std::string value = version_string(info, name, &present);
        if (!present) {
            check_failed("%s has no version string %s", exe.c_str(), name);
        } else {
            expect_text(v + name, value, expected);
        }
    }
    for (const char* name : {"CompanyName", "LegalCopyright", "InternalName"}) {
        bool present = false;
        if (version_string(info, name, &present).empty()) {
            check_failed("%s: version string %s is missing or empty", exe.c_str(), name);
        }
    }
}

// The controls of a live page: creation order, ids, classes, and the bar's range.
void check_page_controls(HWND p)
{
    struct Live {
        int id;
        const char* cls;
    };
    constexpr Live LIVE[] = {
        {1, "button"}, {1001, "static"}, {1009, "msctls_progress32"}, {1002, "static"}, {-1, "static"},
        {-1, "static"}, {-1, "button"}, {1010, "button"}, {1011, "button"},
    };
    const std::vector<HWND> controls = children(p);
    expect_int("controls on the page", static_cast<long long>(controls.size()), 9);
    for (std::size_t i = 0; i < controls.size() && i < std::size(LIVE); ++i) {
        const std::string n = "control " + std::to_string(i + 1);
        expect_int(n + " id", static_cast<short>(GetDlgCtrlID(controls[i])), LIVE[i].id);
        expect_text(n + " class", lower(class_of(controls[i])), LIVE[i].cls);
    }
    HWND bar = GetDlgItem(p, IDC_PROGRESS);
    expect_int("progress bar low end", static_cast<long long>(send(bar, PBM_GETRANGE, TRUE, 0)), 0);
    expect_int("progress bar high end", static_cast<long long>(send(bar, PBM_GETRANGE, FALSE, 0)), 100);
    expect_int("PCI chosen at start", static_cast<long long>(send(GetDlgItem(p, IDC_PCI), BM_GETCHECK, 0, 0)),
               BST_UNCHECKED);
    expect_int("CardBus chosen at start",
               static_cast<long long>(send(GetDlgItem(p, IDC_CARDBUS), BM_GETCHECK, 0, 0)), BST_UNCHECKED);
}

