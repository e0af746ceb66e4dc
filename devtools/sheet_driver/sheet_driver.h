// Drives MolaFlashSim.exe's window from another process, as a person would: starts the tool
// with a simulated configuration, finds the sheet, its tabs, pages, controls and message
// boxes, reads texts and the progress bar, chooses the interface, presses Update, closes the
// sheet and waits for the end of the tool. Used by the GUI tests and by the demonstration
// that the main job runs.
//
// What the driver cannot do (a tool that does not start, a window that never shows, a click
// that is not taken) it reports through check_failed, which the program that uses the driver
// defines: the GUI tests as a failure of the scenario (GoogleTest), the demonstration as a
// line. Nothing here stops at the first failure.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "app/resources/resource.h"

// Time limits of the waits.
// A 32-bit tool under an emulator can take tens of seconds to show its window; the waits
// poll, so a long limit costs nothing when the tool is quick.
constexpr DWORD START_TIMEOUT_MS = 120000;
constexpr DWORD UPDATE_TIMEOUT_MS = 120000;
constexpr DWORD EXIT_TIMEOUT_MS = 20000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;
// How long a key or click may take to move the focus or a check mark, on a loaded machine too.
constexpr DWORD REACTION_MS = 3000;

// ---- failures ----
void check_failed(const char* format, ...);
// A text as a failure names it: in double quotes, line ends as \n.
std::string quoted(const std::string& s);

// Polls a condition every few milliseconds until it holds or the timeout passes.
template <typename Condition>
bool wait_for(DWORD timeout_ms, Condition condition)
{
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
}

// When MOLA_GUI_SYNC names a folder (the runner's), prints "SHOT label" ("SHOT label box"
// for a picture of the tool's message box) and waits until the runner has saved a picture of
// the sheet and written MOLA_GUI_SYNC\shot-label.done; false when no picture was taken in time.
bool take_shot(const char* label, bool box = false);

// ---- the tool's process ----
using Settings = std::vector<std::pair<const char*, const char*>>;

// Folder that holds MolaFlashSim.exe and MolaFlash.exe (a Windows path).
extern std::string ToolDirectory;

// Clears the MOLA_SIM_* variables, sets virtual time and then the given settings.
void set_simulation(const Settings& settings);
// Starts an executable of ToolDirectory (MolaFlashSim.exe unless named) in the environment
// as it is, its standard output going to `output` when that is given (an inheritable file or
// pipe handle); returns false (with a failed check) when it cannot be started. The process
// is the one watched, unless `other` is given: then it is another copy beside the watched
// one, and the caller closes the handles.
bool start_tool(const char* exe = "MolaFlashSim.exe", HANDLE output = nullptr, PROCESS_INFORMATION* other = nullptr);
// Runs a command line in ToolDirectory, for a tool started by another program (a shell that
// redirects its output); adopt_tool then makes the process of the tool's window the one that
// the other functions watch.
bool start_command(const std::string& command_line);
bool adopt_tool(HWND window);
bool tool_exited();
// Exit code of the ended tool, or -1 while it runs.
long long tool_exit_code();
// Ends a tool that is still running (after a failed scenario).
void stop_tool();
// The visible top-level windows of a process.
std::vector<HWND> windows_of(DWORD pid);

// ---- windows ----
std::string class_of(HWND window);
std::string text_of(HWND window);
LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
std::vector<HWND> tool_windows();
std::vector<HWND> children(HWND parent);

// ---- input as a person gives it ----
// Events go into the system's input queue (SendInput), not to the tool's windows: the window
// under the pointer or with the focus gets them when the tool's thread next reads its queue.
POINT center_of(HWND window);
// A point on a top-level window's title bar, away from its buttons; and its close button.
POINT caption_point(HWND top_level);
POINT close_box_point(HWND top_level);
void mouse_click(POINT at);
void mouse_drag(POINT from, POINT to);
void key_press(WORD key);
// A key pressed while a modifier is held (VK_MENU with VK_F4 is Alt+F4).
void key_chord(WORD modifier, WORD key);
// The window that holds the keyboard focus in the thread of `window`.
HWND focus_of(HWND window);
// A window's text as the system holds it, read without a message to the tool: it answers
// while the tool is busy inside an update.
std::string shown_text(HWND window);
// Whether the window's thread answers a message within the time.
bool responsive(HWND window, DWORD timeout_ms);
// A control as a failed check names it: class, id and text.
std::string describe(HWND window);
// Presses a key (with a modifier, or 0) until the focus is on the target; false (with a
// failed check that lists where the focus went) when it never gets there.
bool move_focus_to(HWND sheet, HWND target, WORD modifier, WORD key, const char* target_name);

// ---- the sheet, its pages and message boxes ----
// Starts the tool with the settings and returns its sheet, or nullptr (check failed). For
// scenarios that give input at once, it also waits until the sheet is in front and answers
// (a visible sheet may not yet be the window that the system hands input to).
HWND start_sheet(const Settings& settings, bool for_input = false);
HWND find_sheet();
// The tabs' texts. When the tool's memory cannot be reached (an emulated 32-bit tool), one
// empty text per tab, and TabTextsUnreadable is set.
std::vector<std::string> tab_titles(HWND sheet);
extern bool TabTextsUnreadable;
// The middle of tab `index` (0-based) on the screen.
POINT tab_point(HWND sheet, int index);
int current_tab(HWND sheet);
// Shows page `index` (0-based) and returns its window.
HWND page(HWND sheet, int index);

struct PageView {
    std::string revision;
    std::string status;
    long long bar = -1;
};
PageView view(HWND page);

// Clicks a radio button and checks that it, and only it, is chosen.
void choose(HWND page, int radio);
// Presses Update and waits for the result, as wait_result does (only for presses that ask no
// question first).
void press_update(HWND page);
// Presses Update without waiting (a press that opens a message box).
void post_update(HWND page);
// A percent text of a running update ("42 %"), and the texts of its end.
bool is_percent(const std::string& s);
bool is_result(const std::string& s);
// Waits for the end of the update, or of the tool; returns the page's last status text. After
// "Failed" it waits for the message that says why (wait_failure_box) and, unless told not
// to, closes it with OK.
std::string wait_result(HWND page, bool close_failure_box = true);
// The message after "Failed": waits for it and checks that it is one box owned by the sheet,
// which takes no input meanwhile, with the tool's caption, one icon and one OK, and that it
// begins by naming the card; its text goes to LastFailureMessage. Null (check failed) when
// none comes.
HWND wait_failure_box(HWND page);
extern std::string LastFailureMessage;

// The first visible dialog of the tool (its sheet, a message box) other than `except` and,
// when one is given, with that caption, polled until one shows, the tool ends or the time
// passes (0: one look); null when none shows. A message box is a dialog other than the sheet.
HWND wait_dialog(DWORD timeout_ms, HWND except, const char* caption = nullptr);
// The text of a message box: its first non-empty static child that is not an icon.
std::string box_text(HWND box);

// A message box as it shows: texts without the '&' of their access keys.
struct BoxView {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons; // visible buttons in creation order
    std::string default_button;       // the visible button drawn as the default one
    int icons = 0;
    HWND owner = nullptr;
};
BoxView box_view(HWND box);
// Clicks a visible button of a box with the mouse and waits for the box to close.
void click_box_button(HWND box, const char* text);
// Clicks a radio button with the mouse and waits until it is chosen; fails the check, and
// returns false, when two clicks did not choose it.
bool click_radio(HWND button);
// Closes the sheet with one of its buttons (PSBTN_OK, PSBTN_CANCEL).
void close_sheet(HWND sheet, int button);
