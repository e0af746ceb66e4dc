// The sheet's tabs: their texts, read through a block of the tool's memory, and where they
// are on the screen.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>

namespace {

// A block of memory in the tool's process, for messages that write through pointers.
struct RemoteBlock {
    HANDLE process = nullptr;
    void* address = nullptr;

    RemoteBlock(HWND window, std::size_t size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                              FALSE, pid);
        if (process != nullptr) {
            address = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        }
        if (address == nullptr) {
            check_failed("cannot reach the tool's memory");
        }
    }
    ~RemoteBlock()
    {
        if (address != nullptr) {
            VirtualFreeEx(process, address, 0, MEM_RELEASE);
        }
        if (process != nullptr) {
            CloseHandle(process);
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    // Whether the tool's memory really is what the driver reads and writes: the first of its
    // modules must read as "MZ". Under a user-mode emulator of 32-bit code, Wine's
    // cross-process reads and writes report success and miss the tool's memory.
    bool reachable() const
    {
        HMODULE first = nullptr;
        DWORD needed = 0;
        char mz[2] = {};
        SIZE_T got = 0;
        return address != nullptr && EnumProcessModules(process, &first, sizeof first, &needed) &&
               first != nullptr && ReadProcessMemory(process, first, mz, sizeof mz, &got) && got == sizeof mz &&
               mz[0] == 'M' && mz[1] == 'Z';
    }

    // Whether the tool is a 32-bit program under a 64-bit driver: its records then have
    // 32-bit pointers.
    bool narrower_than_driver() const
    {
        BOOL wow64 = FALSE;
        return sizeof(void*) == 8 && process != nullptr && IsWow64Process(process, &wow64) && wow64;
    }
};

// TCITEMA as the tool lays it out, its pointers of the tool's width.
template <typename Pointer>
struct TabItem {
    std::uint32_t mask;
    std::uint32_t state;
    std::uint32_t state_mask;
    Pointer text;
    std::int32_t text_max;
    std::int32_t image;
    Pointer param;
};
static_assert(sizeof(TabItem<std::uintptr_t>) == sizeof(TCITEMA));

// One tab's text through a block in the tool's memory: the item record, then the text.
template <typename Pointer>
std::string tab_text(HWND tabs, RemoteBlock& remote, int index)
{
    struct Remote {
        TabItem<Pointer> item;
        char text[64];
    };
    Remote local{};
    auto* remote_block = static_cast<Remote*>(remote.address);
    local.item.mask = TCIF_TEXT;
    local.item.text = static_cast<Pointer>(reinterpret_cast<std::uintptr_t>(remote_block->text));
    local.item.text_max = sizeof local.text;
    WriteProcessMemory(remote.process, remote.address, &local, sizeof local, nullptr);
    send(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.address));
    ReadProcessMemory(remote.process, remote.address, &local, sizeof local, nullptr);
    local.text[sizeof local.text - 1] = '\0';
    return local.text;
}

HWND tab_control(HWND sheet)
{
    HWND tabs = reinterpret_cast<HWND>(send(sheet, PSM_GETTABCONTROL, 0, 0));
    if (tabs == nullptr) {
        check_failed("the sheet has no tab control");
    }
    return tabs;
}

} // namespace

bool TabTextsUnreadable = false;

std::vector<std::string> tab_titles(HWND sheet)
{
    std::vector<std::string> titles;
    HWND tabs = tab_control(sheet);
    if (tabs == nullptr) {
        return titles;
    }
    const auto count = static_cast<int>(send(tabs, TCM_GETITEMCOUNT, 0, 0));
    // TCM_GETITEMA writes through pointers, which must be valid in the tool's process.
    RemoteBlock remote(sheet, 256);
    if (remote.address == nullptr) {
        return titles;
    }
    TabTextsUnreadable = !remote.reachable();
    if (TabTextsUnreadable) {
        std::printf("  the tool's memory cannot be reached (an emulated 32-bit tool): tab texts unread\n");
    }
    for (int i = 0; i < count; ++i) {
        titles.push_back(TabTextsUnreadable               ? std::string()
                         : remote.narrower_than_driver() ? tab_text<std::uint32_t>(tabs, remote, i)
                                                         : tab_text<std::uintptr_t>(tabs, remote, i));
    }
    return titles;
}

POINT tab_point(HWND sheet, int index)
{
    HWND tabs = tab_control(sheet);
    RemoteBlock remote(sheet, sizeof(RECT));
    RECT r{};
    if (tabs == nullptr || remote.address == nullptr ||
        send(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.address)) == 0) {
        check_failed("tab %d has no place on the screen", index + 1);
        return POINT{};
    }
    ReadProcessMemory(remote.process, remote.address, &r, sizeof r, nullptr);
    POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(tabs, &middle);
    return middle;
}

int current_tab(HWND sheet)
{
    return static_cast<int>(send(tab_control(sheet), TCM_GETCURSEL, 0, 0));
}
