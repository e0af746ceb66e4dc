// GUI test driver: starts MolaFlashSim.exe with a simulated configuration, works its window
// from outside as a person would (tabs, texts, progress bar, radio buttons, Update, message
// boxes, closing the sheet) and checks what it sees and the exit code.
//
// Usage: gui_driver --list
//        gui_driver SCENARIO DIRECTORY   (DIRECTORY holds MolaFlashSim.exe and MolaFlash.exe)
//        gui_driver --demo DIRECTORY SYNC_DIRECTORY   (see demo below)
// Prints "PASS SCENARIO" and exits 0 when every check held; prints each failed check and
// "FAIL SCENARIO" and exits 1 otherwise.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* SHEET_CAPTION = "MOLA Flash Update Tool, HW Revision 010";
constexpr const char* BOX_CAPTION = "MOLA Flash Update Tool";
constexpr const char* POWER_OFF_TEXT =
    "Shut down and power off the computer\nfor the update to become active.";
constexpr const char* CHOOSE_TEXT = "Please select your interface type (PCI/CardBus)";

constexpr int IDC_REVISION = 1001;
constexpr int IDC_STATUS = 1002;
constexpr int IDC_PROGRESS = 1009;
constexpr int IDC_PCI = 1010;
constexpr int IDC_CARDBUS = 1011;

constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD UPDATE_TIMEOUT_MS = 120000;
constexpr DWORD EXIT_TIMEOUT_MS = 20000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;
constexpr DWORD POLL_MS = 20;

int Failures = 0;

void fail(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::printf("  check failed: ");
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
    va_end(args);
    ++Failures;
}

std::string quoted(const std::string& s)
{
    std::string q = "\"";
    for (char c : s) {
        if (c == '\n') {
            q += "\\n";
        } else {
            q += c;
        }
    }
    return q + "\"";
}

void expect_text(const std::string& what, const std::string& actual, const std::string& expected)
{
    if (actual != expected) {
        fail("%s is %s, expected %s", what.c_str(), quoted(actual).c_str(), quoted(expected).c_str());
    }
}

void expect_int(const std::string& what, long long actual, long long expected)
{
    if (actual != expected) {
        fail("%s is %lld, expected %lld", what.c_str(), actual, expected);
    }
}

// Polls a condition every POLL_MS until it holds or the timeout passes.
bool wait_for(DWORD timeout_ms, const std::function<bool()>& condition)
{
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(POLL_MS);
    }
}

// ---- The application under test -------------------------------------------------------

struct App {
    PROCESS_INFORMATION process{};
    bool running = false;
};

App TheApp;
std::string Directory;

void set_environment(const std::vector<std::pair<const char*, const char*>>& settings)
{
    for (const char* name : {"MOLA_SIM_CARDS", "MOLA_SIM_DRIVER", "MOLA_SIM_COUNT", "MOLA_SIM_CLOCK",
                             "MOLA_SIM_FAULTS"}) {
        SetEnvironmentVariableA(name, nullptr);
    }
    SetEnvironmentVariableA("MOLA_SIM_CLOCK", "virtual");
    for (const auto& [name, value] : settings) {
        SetEnvironmentVariableA(name, value);
    }
}

// Starts the tool; with configure false it runs with the simulation configured as this
// process's environment has it.
bool start_app(const std::vector<std::pair<const char*, const char*>>& settings, bool configure = true)
{
    if (configure) {
        set_environment(settings);
    }
    std::string command = "\"" + Directory + "\\MolaFlashSim.exe\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &TheApp.process)) {
        fail("cannot start %s (error %lu)", command.c_str(), GetLastError());
        return false;
    }
    TheApp.running = true;
    return true;
}

bool app_exited()
{
    return WaitForSingleObject(TheApp.process.hProcess, 0) == WAIT_OBJECT_0;
}

std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Text of a window in another process; WM_GETTEXT is marshalled by the system.
std::string text_of(HWND window)
{
    char text[256] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             UPDATE_TIMEOUT_MS, &length)) {
        fail("no answer to WM_GETTEXT");
        return "";
    }
    return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL, UPDATE_TIMEOUT_MS, &result)) {
        fail("no answer to message 0x%x", message);
        return 0;
    }
    return static_cast<LRESULT>(result);
}

// Visible top-level windows of the application.
struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> app_windows()
{
    WindowSearch search{TheApp.process.dwProcessId, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_sheet()
{
    HWND sheet = nullptr;
    wait_for(START_TIMEOUT_MS, [&] {
        sheet = FindWindowA("#32770", SHEET_CAPTION);
        return (sheet != nullptr && IsWindowVisible(sheet)) || app_exited();
    });
    if (sheet == nullptr) {
        fail("no window \"%s\" appeared", SHEET_CAPTION);
    }
    return sheet;
}

// A message box: a visible top-level dialog of the application other than the sheet.
HWND message_box(HWND sheet)
{
    for (HWND window : app_windows()) {
        if (window != sheet && class_of(window) == "#32770") {
            return window;
        }
    }
    return nullptr;
}

HWND wait_message_box(HWND sheet)
{
    HWND box = nullptr;
    wait_for(BOX_TIMEOUT_MS, [&] {
        box = message_box(sheet);
        return box != nullptr || app_exited();
    });
    return box;
}

std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        found.push_back(child);
    }
    return found;
}

// Checks a message box: caption, text (its first non-empty static child), the information
// icon and a single OK button; then closes it with OK.
void check_and_close_box(HWND box, const char* expected_text)
{
    expect_text("message box caption", text_of(box), BOX_CAPTION);
    std::string text;
    int icons = 0;
    int buttons = 0;
    std::string button_text;
    for (HWND child : children(box)) {
        const std::string cls = class_of(child);
        if (cls == "Static") {
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON) {
                ++icons;
            } else if (text.empty()) {
                text = text_of(child);
            }
        } else if (cls == "Button" && IsWindowVisible(child)) {
            ++buttons;
            button_text = text_of(child);
        }
    }
    expect_text("message box text", text, expected_text);
    expect_int("icons in the message box", icons, 1);
    expect_int("buttons in the message box", buttons, 1);
    expect_text("message box button", button_text, "OK");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (!wait_for(BOX_TIMEOUT_MS, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        fail("the message box did not close");
    }
}

// Waits for the application to end, failing on any window that shows up meanwhile.
void expect_exit_without_window(HWND sheet)
{
    HWND unexpected = nullptr;
    const bool exited = wait_for(EXIT_TIMEOUT_MS, [&] {
        unexpected = message_box(sheet);
        if (unexpected == nullptr) {
            for (HWND window : app_windows()) {
                if (window != sheet) {
                    unexpected = window;
                }
            }
        }
        return unexpected != nullptr || app_exited();
    });
    if (unexpected != nullptr) {
        fail("unexpected window %s (%s)", quoted(text_of(unexpected)).c_str(), class_of(unexpected).c_str());
        return;
    }
    if (!exited) {
        fail("the tool did not end");
        return;
    }
    DWORD code = 1;
    GetExitCodeProcess(TheApp.process.hProcess, &code);
    expect_int("exit code", code, 0);
    TheApp.running = false;
}

void close_sheet(HWND sheet, int button)
{
    PostMessageA(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
    if (!wait_for(EXIT_TIMEOUT_MS, [&] { return !IsWindow(sheet) || !IsWindowVisible(sheet); })) {
        fail("the sheet did not close");
    }
}

// Closes the sheet; expects the power-off message exactly once (or not at all), then the
// end of the tool with exit code 0.
void close_and_expect_end(HWND sheet, bool power_off_message)
{
    close_sheet(sheet, PSBTN_OK);
    if (power_off_message) {
        HWND box = wait_message_box(sheet);
        if (box == nullptr) {
            fail("no power-off message after the sheet closed");
        } else {
            check_and_close_box(box, POWER_OFF_TEXT);
        }
    }
    expect_exit_without_window(sheet);
}

// ---- The sheet and its pages --------------------------------------------------------------

std::vector<std::string> tab_titles(HWND sheet)
{
    std::vector<std::string> titles;
    HWND tabs = reinterpret_cast<HWND>(send(sheet, PSM_GETTABCONTROL, 0, 0));
    if (tabs == nullptr) {
        fail("the sheet has no tab control");
        return titles;
    }
    const auto count = static_cast<int>(send(tabs, TCM_GETITEMCOUNT, 0, 0));
    // TCM_GETITEMA writes through pointers, which must be valid in the tool's process.
    struct Remote {
        TCITEMA item;
        char text[64];
    };
    void* remote = VirtualAllocEx(TheApp.process.hProcess, nullptr, sizeof(Remote), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (remote == nullptr) {
        fail("cannot reach the tool's memory");
        return titles;
    }
    auto* remote_block = static_cast<Remote*>(remote);
    for (int i = 0; i < count; ++i) {
        Remote local{};
        local.item.mask = TCIF_TEXT;
        local.item.pszText = remote_block->text;
        local.item.cchTextMax = sizeof local.text;
        WriteProcessMemory(TheApp.process.hProcess, remote, &local, sizeof local, nullptr);
        send(tabs, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(TheApp.process.hProcess, remote, &local, sizeof local, nullptr);
        local.text[sizeof local.text - 1] = '\0';
        titles.emplace_back(local.text);
    }
    VirtualFreeEx(TheApp.process.hProcess, remote, 0, MEM_RELEASE);
    return titles;
}

int current_tab(HWND sheet)
{
    HWND tabs = reinterpret_cast<HWND>(send(sheet, PSM_GETTABCONTROL, 0, 0));
    return static_cast<int>(send(tabs, TCM_GETCURSEL, 0, 0));
}

// Shows page `index` (0-based) and returns its window.
HWND page(HWND sheet, int index)
{
    send(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    HWND p = reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (p == nullptr) {
        fail("page %d has no window", index + 1);
    }
    return p;
}

struct PageView {
    std::string revision;
    std::string status;
    long long bar = -1;
};

PageView view(HWND p)
{
    PageView v;
    v.revision = text_of(GetDlgItem(p, IDC_REVISION));
    v.status = text_of(GetDlgItem(p, IDC_STATUS));
    v.bar = static_cast<long long>(send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0));
    return v;
}

void expect_page(HWND p, const char* name, const char* revision, const char* status, long long bar)
{
    const PageView v = view(p);
    const std::string n = name;
    expect_text(n + " revision", v.revision, revision);
    expect_text(n + " status", v.status, status);
    expect_int(n + " progress bar", v.bar, bar);
}

void choose(HWND p, int radio)
{
    HWND button = GetDlgItem(p, radio);
    send(button, BM_CLICK, 0, 0);
    if (send(button, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        fail("radio button %d did not become checked", radio);
    }
    const int other = radio == IDC_PCI ? IDC_CARDBUS : IDC_PCI;
    if (send(GetDlgItem(p, other), BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
        fail("choosing radio button %d left %d checked", radio, other);
    }
}

// Presses Update and waits for the handler to return. Only for presses that open no
// message box: the handler runs the whole update before it returns.
void press_update(HWND p)
{
    send(p, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(p, IDOK)));
}

// Starts the tool and returns its sheet, or nullptr (with a failure recorded).
HWND start_sheet(const std::vector<std::pair<const char*, const char*>>& settings)
{
    if (!start_app(settings)) {
        return nullptr;
    }
    return find_sheet();
}

// ---- Resources -------------------------------------------------------------------------

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
    {1010, "#128", "PCI", 0x50000009, 12, 76, 44, 10},
    {1011, "#128", "CardBus", 0x50000009, 12, 88, 42, 10},
};

void check_dialog_template(HMODULE module, const std::string& exe)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (found == nullptr) {
        fail("%s: no dialog template 101", exe.c_str());
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
    expect_text(t + "caption", r.sz_or_ordinal(), SHEET_CAPTION);
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
        fail("%s: the template ends early", t.c_str());
    }
}

std::string version_string(const std::vector<char>& info, const char* name, bool* present)
{
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    *present = VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) != 0;
    return *present && value != nullptr ? std::string(value) : std::string();
}

void check_version_info(const std::string& path, const std::string& exe, const char* file_name)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) {
        fail("%s has no version information", exe.c_str());
        return;
    }
    std::vector<char> info(size);
    GetFileVersionInfoA(path.c_str(), 0, size, info.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
        fail("%s has no fixed version information", exe.c_str());
        return;
    }
    const std::string v = exe + " version ";
    expect_int(v + "file version high", fixed->dwFileVersionMS, 0x0000000A);
    expect_int(v + "file version low", fixed->dwFileVersionLS, 0x00010000);
    expect_int(v + "product version high", fixed->dwProductVersionMS, 0x0000000A);
    expect_int(v + "product version low", fixed->dwProductVersionLS, 0x00010000);
    expect_int(v + "flags mask", fixed->dwFileFlagsMask, 0x3F);
    expect_int(v + "flags", fixed->dwFileFlags, 0);
    expect_int(v + "operating system", fixed->dwFileOS, 0x40004);
    expect_int(v + "file type", fixed->dwFileType, 1);

    WORD* translation = nullptr;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 4) {
        fail("%s has no translation entry", exe.c_str());
    } else {
        expect_int(v + "language", translation[0], 0x0409);
        expect_int(v + "code page", translation[1], 1200);
    }

    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "0, 10, 1, 0"},
        {"ProductVersion", "0, 10, 1, 0"},
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
            fail("%s has no version string %s", exe.c_str(), name);
        } else {
            expect_text(v + name, value, expected);
        }
    }
    for (const char* name : {"CompanyName", "LegalCopyright", "InternalName"}) {
        bool present = false;
        if (version_string(info, name, &present).empty()) {
            fail("%s: version string %s is missing or empty", exe.c_str(), name);
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

// ---- Scenarios ---------------------------------------------------------------------------

void scenario_resources()
{
    for (const auto& [exe, file_name] : {std::pair{"MolaFlashSim.exe", "MolaFlashSim.exe"},
                                         std::pair{"MolaFlash.exe", "MolaFlash.exe"}}) {
        const std::string path = Directory + "\\" + exe;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) {
            fail("cannot load %s as data (error %lu)", path.c_str(), GetLastError());
            continue;
        }
        check_dialog_template(module, exe);
        FreeLibrary(module);
        check_version_info(path, exe, file_name);
    }
}

// The tool ends at once with exit code 0 and shows nothing.
void expect_silent_exit(const std::vector<std::pair<const char*, const char*>>& settings)
{
    if (start_app(settings)) {
        expect_exit_without_window(nullptr);
    }
}

void scenario_no_driver()
{
    expect_silent_exit({{"MOLA_SIM_DRIVER", "none"}});
}

void scenario_first_card_missing()
{
    expect_silent_exit({{"MOLA_SIM_FAULTS", "device-missing@0"}});
}

void scenario_seven_cards()
{
    expect_silent_exit({{"MOLA_SIM_CARDS", "pci:9,pci:9,pci:9,pci:9,pci:9,pci:9"}, {"MOLA_SIM_COUNT", "7"}});
}

void scenario_zero_cards()
{
    expect_silent_exit({{"MOLA_SIM_COUNT", "0"}});
}

void scenario_six_cards()
{
    HWND sheet = start_sheet({{"MOLA_SIM_CARDS", "pci:9,cardbus:10,pci:11,cardbus:9,pci:10,cardbus:11"}});
    if (sheet == nullptr) {
        return;
    }
    const std::vector<std::string> titles = tab_titles(sheet);
    expect_int("tabs", static_cast<long long>(titles.size()), 6);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        expect_text("tab " + std::to_string(i), titles[i], "Card " + std::to_string(i + 1));
    }
    expect_int("selected tab", current_tab(sheet), 0);
    expect_page(page(sheet, 5), "page 6", "11\n", "Up-to-date", 0);
    close_sheet(sheet, PSBTN_CANCEL);
    expect_exit_without_window(sheet);
}

void scenario_revisions()
{
    HWND sheet = start_sheet({{"MOLA_SIM_CARDS", "pci:9,pci:10,cardbus:11,pci:-3,pci:10"},
                              {"MOLA_SIM_FAULTS", "card-info-fails@4"}});
    if (sheet == nullptr) {
        return;
    }
    HWND first = page(sheet, 0);
    check_page_controls(first);
    expect_page(first, "revision 9", "9\n", "Not updated", 0);
    expect_page(page(sheet, 1), "revision 10", "10\n", "Up-to-date", 0);
    expect_page(page(sheet, 2), "revision 11", "11\n", "Up-to-date", 0);
    expect_page(page(sheet, 3), "revision -3", "-3\n", "Not updated", 0);
    expect_page(page(sheet, 4), "failed probe", "0", "not programmed", 0);
    close_and_expect_end(sheet, false);
}

void scenario_no_interface()
{
    HWND sheet = start_sheet({});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    // The press opens a modal message box inside the handler: post it, do not wait for it.
    PostMessageA(p, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(p, IDOK)));
    HWND box = wait_message_box(sheet);
    if (box == nullptr) {
        fail("no message box after Update with no interface chosen");
    } else {
        check_and_close_box(box, CHOOSE_TEXT);
    }
    expect_page(p, "page 1", "9\n", "Not updated", 0);
    close_and_expect_end(sheet, false);
}

void scenario_pci_success()
{
    HWND sheet = start_sheet({});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_PCI);
    press_update(p);
    expect_page(p, "page 1", "9\n", "Success", 100);
    close_and_expect_end(sheet, true);
}

void scenario_wrong_interface()
{
    HWND sheet = start_sheet({});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_CARDBUS);
    press_update(p);
    const PageView v = view(p);
    expect_text("status after the wrong program", v.status, "Failed");
    std::printf("  the wrong program stopped with the bar at %lld\n", v.bar);
    if (v.bar < 0 || v.bar >= 100) {
        fail("progress bar after the wrong program is %lld, expected where the run stopped (below 100)", v.bar);
    }
    close_and_expect_end(sheet, false);
}

// A card whose read-back fails late in the run: the bar stays where the run stopped.
void scenario_fails_mid_run()
{
    HWND sheet = start_sheet({{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_PCI);
    press_update(p);
    const PageView v = view(p);
    std::printf("  the run stopped with the bar at %lld\n", v.bar);
    expect_text("status after a failed read-back", v.status, "Failed");
    if (v.bar <= 0 || v.bar >= 100) {
        fail("progress bar after a failed read-back is %lld, expected between 1 and 99", v.bar);
    }
    close_and_expect_end(sheet, false);
}

void scenario_two_pages()
{
    HWND sheet = start_sheet({});
    if (sheet == nullptr) {
        return;
    }
    HWND first = page(sheet, 0);
    HWND second = page(sheet, 1);
    choose(second, IDC_CARDBUS);
    press_update(second);
    expect_page(second, "page 2", "10\n", "Success", 100);
    expect_page(first, "page 1", "9\n", "Not updated", 0);

    page(sheet, 0);
    choose(first, IDC_PCI);
    press_update(first);
    expect_page(first, "page 1", "9\n", "Success", 100);
    expect_page(second, "page 2", "10\n", "Success", 100);
    close_and_expect_end(sheet, true);
}

void scenario_success_then_failure()
{
    HWND sheet = start_sheet({});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_PCI);
    press_update(p);
    expect_page(p, "page 1 after the first run", "9\n", "Success", 100);
    choose(p, IDC_CARDBUS);
    press_update(p);
    expect_text("page 1 status after the second run", view(p).status, "Failed");
    close_and_expect_end(sheet, true);
}

void scenario_update_twice()
{
    HWND sheet = start_sheet({{"MOLA_SIM_CARDS", "cardbus:10"}});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_CARDBUS);
    press_update(p);
    expect_page(p, "first run", "10\n", "Success", 100);
    press_update(p);
    expect_page(p, "second run", "10\n", "Success", 100);
    close_and_expect_end(sheet, true);
}

void scenario_map_fails()
{
    HWND sheet = start_sheet({{"MOLA_SIM_FAULTS", "map-fails@0"}});
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    choose(p, IDC_PCI);
    press_update(p);
    expect_page(p, "page 1", "9\n", "Not updated", 0);
    if (HWND box = message_box(sheet)) {
        fail("unexpected message box %s", quoted(text_of(box)).c_str());
    }
    close_and_expect_end(sheet, false);
}

void scenario_win9x()
{
    HWND sheet = start_sheet({{"MOLA_SIM_DRIVER", "9x"}});
    if (sheet == nullptr) {
        return;
    }
    const std::vector<std::string> titles = tab_titles(sheet);
    expect_int("tabs", static_cast<long long>(titles.size()), 2);
    HWND second = page(sheet, 1);
    expect_page(second, "page 2", "10\n", "Up-to-date", 0);
    HWND first = page(sheet, 0);
    expect_page(first, "page 1", "9\n", "Not updated", 0);
    choose(first, IDC_PCI);
    press_update(first);
    expect_page(first, "page 1", "9\n", "Success", 100);
    close_and_expect_end(sheet, true);
}


// ---- Demonstration (tools/run-sim.sh) ----------------------------------------------------

// Models of the simulated cards as the environment configures them, "pci" or "cardbus".
std::vector<std::string> configured_models()
{
    char cards[256] = {};
    const DWORD n = GetEnvironmentVariableA("MOLA_SIM_CARDS", cards, sizeof cards);
    const std::string list = n > 0 && n < sizeof cards ? std::string(cards) : std::string("pci:9,cardbus:10");
    std::vector<std::string> models;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) {
            comma = list.size();
        }
        const std::string entry = list.substr(start, comma - start);
        models.push_back(entry.substr(0, entry.find(':')));
        start = comma + 1;
    }
    return models;
}

// Updates every card with its own interface's program, as the environment configures the
// simulation (left as it is), and prints each page's status text. Before closing the sheet
// it shows each page in turn and waits for SYNC\shot-N.done, so that the caller can take a
// screenshot of page N.
int demo(const std::string& sync)
{
    if (!start_app({}, false)) {
        return 1;
    }
    HWND sheet = find_sheet();
    if (sheet == nullptr) {
        DWORD code = 0;
        WaitForSingleObject(TheApp.process.hProcess, EXIT_TIMEOUT_MS);
        GetExitCodeProcess(TheApp.process.hProcess, &code);
        std::printf("the tool showed no sheet and ended with exit code %lu\n", code);
        return 1;
    }
    const std::vector<std::string> models = configured_models();
    const std::vector<std::string> titles = tab_titles(sheet);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        HWND p = page(sheet, static_cast<int>(i));
        const bool cardbus = i < models.size() && models[i] == "cardbus";
        std::printf("%s: revision %s, %s; updating with the %s program\n", titles[i].c_str(),
                    view(p).revision.substr(0, view(p).revision.find('\n')).c_str(), view(p).status.c_str(),
                    cardbus ? "CardBus" : "PCI");
        std::fflush(stdout);
        choose(p, cardbus ? IDC_CARDBUS : IDC_PCI);
        press_update(p);
        const PageView v = view(p);
        std::printf("%s: status \"%s\", progress bar %lld\n", titles[i].c_str(), v.status.c_str(), v.bar);
        std::fflush(stdout);
    }
    for (std::size_t i = 0; i < titles.size(); ++i) {
        page(sheet, static_cast<int>(i));
        std::printf("SHOT %zu\n", i + 1);
        std::fflush(stdout);
        const std::string done = sync + "\\shot-" + std::to_string(i + 1) + ".done";
        if (!wait_for(60000, [&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; })) {
            fail("no screenshot was taken of page %zu", i + 1);
        }
    }
    close_sheet(sheet, PSBTN_OK);
    if (HWND box = wait_message_box(sheet)) {
        std::string text;
        for (HWND child : children(box)) {
            if (class_of(child) == "Static" && text.empty()) {
                text = text_of(child);
            }
        }
        std::printf("message after closing: %s\n", quoted(text).c_str());
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    WaitForSingleObject(TheApp.process.hProcess, EXIT_TIMEOUT_MS);
    DWORD code = 1;
    GetExitCodeProcess(TheApp.process.hProcess, &code);
    TheApp.running = !app_exited();
    std::printf("exit code %lu\n", code);
    return Failures == 0 ? 0 : 1;
}

struct Scenario {
    const char* name;
    void (*run)();
};

constexpr Scenario SCENARIOS[] = {
    {"resources", scenario_resources},
    {"no-driver", scenario_no_driver},
    {"first-card-missing", scenario_first_card_missing},
    {"zero-cards", scenario_zero_cards},
    {"seven-cards", scenario_seven_cards},
    {"six-cards", scenario_six_cards},
    {"revisions", scenario_revisions},
    {"no-interface", scenario_no_interface},
    {"pci-success", scenario_pci_success},
    {"wrong-interface", scenario_wrong_interface},
    {"fails-mid-run", scenario_fails_mid_run},
    {"two-pages", scenario_two_pages},
    {"success-then-failure", scenario_success_then_failure},
    {"update-twice", scenario_update_twice},
    {"map-fails", scenario_map_fails},
    {"win9x", scenario_win9x},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Scenario& s : SCENARIOS) {
            std::printf("%s\n", s.name);
        }
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--demo") == 0) {
        Directory = argv[2];
        const int rc = demo(argv[3]);
        if (TheApp.running) {
            TerminateProcess(TheApp.process.hProcess, 99);
        }
        return rc;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_driver --list | gui_driver SCENARIO DIRECTORY\n");
        return 2;
    }
    Directory = argv[2];
    for (const Scenario& s : SCENARIOS) {
        if (std::strcmp(argv[1], s.name) == 0) {
            s.run();
            if (TheApp.running) {
                TerminateProcess(TheApp.process.hProcess, 99);
            }
            std::printf("%s %s\n", Failures == 0 ? "PASS" : "FAIL", s.name);
            return Failures == 0 ? 0 : 1;
        }
    }
    std::fprintf(stderr, "unknown scenario %s\n", argv[1]);
    return 2;
}
