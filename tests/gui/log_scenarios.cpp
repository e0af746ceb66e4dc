// Scenarios of the diagnostic log as a person supporting the user reads it: the tool started
// with its standard output redirected to a file or a pipe, a failing update, and the level-0
// lines of the failure (error text and command number), there while the tool is still open.
#include "devtools/sheet_driver/sheet_driver.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tests/gui/gui_checks.h"
#include "tests/gui/gui_scenarios.h"

namespace {

// A PCI update of a card with one stuck memory bit fails in the read-back; the log at level
// 0 is exactly these three lines: the player's two, and the page's line of the card, the
// program and the cause.
const Settings FAILING_UPDATE = {{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}};
constexpr const char* FAILURE_LOG = "ERROR:  TDO mismatch\nERROR at XSVF command #3085\n"
                                    "ERROR:  Card 1, PCI program: a mismatch after the identity check (the card "
                                    "stopped answering, or a verify failed)\n";

// The log of four failures: the wrong interface, a mapping that fails, a card that vanishes
// part of the way, a card that cannot be reached.
constexpr const char* LOG_OF_CAUSES =
    "ERROR:  TDO mismatch\n"
    "ERROR at XSVF command #9\n"
    "ERROR:  Card 1, CardBus program: the card did not identify as the device this program is for (the other "
    "interface, another model, or no answer)\n"
    "ERROR:  Card 2, PCI program: its register block could not be mapped\n"
    "ERROR:  TDO mismatch\n"
    "ERROR at XSVF command #1970\n"
    "ERROR:  Card 3, PCI program: a mismatch after the identity check (the card stopped answering, or a verify "
    "failed)\n"
    "ERROR:  Card 4, PCI program: the card could not be reached through its driver\n";

// How long the log may take to arrive through a pipe.
constexpr DWORD PIPE_TIMEOUT_MS = 5000;

std::string without_carriage_returns(const std::string& s)
{
    std::string out = s;
    std::erase(out, '\r');
    return out;
}

// A new file in the temporary folder, opened for writing with a handle that a child inherits.
HANDLE create_log_file(std::string* path)
{
    char folder[MAX_PATH] = {};
    char name[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    if (GetTempFileNameA(folder, "mol", 0, name) == 0) {
        check_failed("cannot name a log file in %s (error %lu)", folder, GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    *path = name;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        check_failed("cannot create %s (error %lu)", name, GetLastError());
    }
    return file;
}

std::string read_file(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        check_failed("cannot open %s (error %lu)", path.c_str(), GetLastError());
        return "";
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return without_carriage_returns(text);
}

// Reads what the pipe holds until `wanted` bytes (carriage returns left out) have come, the
// writer has gone, or the time is up. Never blocks on an empty pipe.
std::string read_pipe(HANDLE pipe, std::size_t wanted, DWORD timeout_ms)
{
    std::string text;
    wait_for(timeout_ms, [&] {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            return true; // the writer has closed its end
        }
        while (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr)) {
                return true;
            }
            text.append(buffer, got);
            available -= got;
        }
        return without_carriage_returns(text).size() >= wanted;
    });
    return without_carriage_returns(text);
}

// Chooses PCI on the first page, presses Update and checks that the update failed.
void run_failing_update(HWND sheet)
{
    HWND p = page(sheet, 0);
    choose(p, IDC_PCI);
    press_update(p);
    const PageView v = view(p);
    expect_text("page 1 status", v.status, "Failed");
    std::printf("  the update stopped with the bar at %lld\n", v.bar);
}

void scenario_log_to_file()
{
    // As a person would type it in a command prompt in the tool's folder.
    std::string path;
    HANDLE probe = create_log_file(&path);
    if (probe == INVALID_HANDLE_VALUE) {
        return;
    }
    CloseHandle(probe);
    set_simulation(FAILING_UPDATE);
    if (!start_command("cmd.exe /c MolaFlashSim.exe > \"" + path + "\"")) {
        return;
    }
    HWND sheet = nullptr;
    if (!wait_for(START_TIMEOUT_MS, [&] {
            sheet = FindWindowA("#32770", APP_SHEET_CAPTION);
            return sheet != nullptr && IsWindowVisible(sheet);
        }) ||
        !adopt_tool(sheet)) {
        check_failed("no sheet appeared from the command line");
        return;
    }
    // Each failed update adds its lines when it ends, the tool still open.
    const std::string once = FAILURE_LOG;
    run_failing_update(sheet);
    expect_text("the log after one update", read_file(path), once);
    run_failing_update(sheet);
    expect_text("the log after two updates", read_file(path), once + once);
    close_and_expect_end(sheet, false);
    expect_text("the log after the tool ended", read_file(path), once + once);
    DeleteFileA(path.c_str());
}

void scenario_log_to_pipe()
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0)) {
        check_failed("cannot create a pipe (error %lu)", GetLastError());
        return;
    }
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    set_simulation(FAILING_UPDATE);
    const bool started = start_tool("MolaFlashSim.exe", writer);
    CloseHandle(writer);
    HWND sheet = started ? find_sheet() : nullptr;
    if (sheet != nullptr) {
        run_failing_update(sheet);
        const std::string expected = FAILURE_LOG;
        expect_text("the log while the tool is open", read_pipe(reader, expected.size(), PIPE_TIMEOUT_MS),
                    expected);
        close_and_expect_end(sheet, false);
        expect_text("the log after the tool ended", read_pipe(reader, 1, PIPE_TIMEOUT_MS), "");
    }
    CloseHandle(reader);
}

void scenario_log_molaflash()
{
    // MolaFlash.exe finds no card driver here, says so and ends; started with its output in
    // a file it must still end normally and write nothing.
    std::string path;
    HANDLE file = create_log_file(&path);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    set_simulation({});
    const bool started = start_tool("MolaFlash.exe", file);
    CloseHandle(file);
    if (started) {
        expect_box_then_exit(APP_NO_DRIVER_TEXT, APP_EXIT_NO_CARD);
        expect_text("MolaFlash.exe's log without a card", read_file(path), "");
    }
    DeleteFileA(path.c_str());
    // Its log is written by the same player code as MolaFlashSim.exe's through the same C
    // runtime stream: both are GUI programs that take the standard output stream, the
    // writing and the flushing from the same runtime library.
    for (const char* exe : {"MolaFlash.exe", "MolaFlashSim.exe"}) {
        check_output_runtime(ToolDirectory + "\\" + exe, exe);
    }
}

// MolaFlashSim.exe with the settings, its standard output in a new file: `work` is given the
// sheet, and then the log that it checks.
template <typename Work>
void with_logged_sheet(const Settings& settings, Work work)
{
    std::string path;
    HANDLE file = create_log_file(&path);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    set_simulation(settings);
    const bool started = start_tool("MolaFlashSim.exe", file);
    CloseHandle(file);
    if (HWND sheet = started ? find_sheet() : nullptr) {
        work(sheet, [&] { return read_file(path); });
    }
    DeleteFileA(path.c_str());
}

// Four cards that fail four ways, each updated once: the log names the card, the program
// and the cause of each failure.
void scenario_log_causes()
{
    with_logged_sheet({{"MOLA_SIM_CARDS", "pci:9,pci:9,pci:9,pci:9"},
                       {"MOLA_SIM_FAULTS", "map-fails@1,vanish@2,card-info-fails@3"}},
                      [](HWND sheet, auto log) {
                          const int radios[] = {IDC_CARDBUS, IDC_PCI, IDC_PCI, IDC_PCI};
                          for (int i = 0; i < 4; ++i) {
                              HWND p = page(sheet, i);
                              choose(p, radios[i]);
                              press_update(p);
                              expect_text("page " + std::to_string(i + 1) + " status", view(p).status, "Failed");
                          }
                          expect_text("the log", log(), LOG_OF_CAUSES);
                          close_and_expect_end(sheet, false);
                      });
}

// Updates declined at the questions before them: one line each; an update that goes ahead
// after Yes writes nothing more.
void scenario_log_declined()
{
    with_logged_sheet({{"MOLA_SIM_CARDS", "pci:11"}, {"MOLA_SIM_POWER", "battery:10"}}, [](HWND sheet, auto log) {
        HWND p = page(sheet, 0);
        choose(p, IDC_PCI);
        // Answers to the newer card's question and then to the battery's, per attempt.
        const std::vector<std::vector<const char*>> attempts = {{"No"}, {"Yes", "No"}, {"Yes", "Yes"}};
        for (const auto& answers : attempts) {
            post_update(p);
            for (const char* answer : answers) {
                HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
                if (box == nullptr) {
                    check_failed("no question to answer %s", answer);
                    break;
                }
                click_box_button(box, answer);
            }
        }
        expect_text("result", wait_result(p), "Success");
        expect_text("the log", log(),
                    "Card 1, PCI program: not updated: its hardware revision 11 is newer than this tool's 10\n"
                    "Card 1, PCI program: not updated: the computer runs on battery at 10 %\n");
        close_and_expect_end(sheet, true);
    });
}

// The system ends the session while a card is written (a forced end, after the tool refused
// it): the log says so, once, naming the card; the same message outside an update, none.
void scenario_log_session_ended()
{
    with_logged_sheet({{"MOLA_SIM_CLOCK", "real"}}, [](HWND sheet, auto log) {
        HWND p = page(sheet, 0);
        choose(p, IDC_PCI);
        post_update(p);
        HWND status = GetDlgItem(p, IDC_STATUS);
        if (!wait_for(UPDATE_TIMEOUT_MS, [&] { return is_percent(shown_text(status)); })) {
            check_failed("no update started");
        }
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(sheet, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &answer);
        expect_text("result", wait_result(p), "Success");
        SendMessageTimeoutA(sheet, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &answer);
        expect_text("the log", log(),
                    "ERROR:  Card 1, PCI program: the session ended during the update; the card's logic may be "
                    "incomplete\n");
        close_and_expect_end(sheet, true);
    });
}

const Scenario LOG_SCENARIOS[] = {
    {"log-session-ended", {}, nullptr, false, scenario_log_session_ended},
    {"log-causes", {}, nullptr, false, scenario_log_causes},
    {"log-declined", {}, nullptr, false, scenario_log_declined},
    {"log-to-file", {}, nullptr, false, scenario_log_to_file},
    {"log-to-pipe", {}, nullptr, false, scenario_log_to_pipe},
    {"log-molaflash", {}, nullptr, false, scenario_log_molaflash},
};

} // namespace

std::span<const Scenario> log_scenarios()
{
    return LOG_SCENARIOS;
}
