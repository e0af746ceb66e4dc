// What a real machine does around the ten seconds of an update at the card's pace: the sheet
// must answer the system throughout, refuse to end the session, to suspend or to close while
// the card is written, and allow all of it again afterwards; and an update cut off by the end
// of the process (the power failing) is redone on the next start.
#include "devtools/sheet_driver/sheet_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/gui/gui_checks.h"
#include "tests/gui/gui_scenarios.h"

namespace {

// How often the sheet is asked while the card is written, and how soon it must answer.
constexpr DWORD ASK_EVERY_MS = 100;
constexpr double MOST_ANSWER_MS = 250.0;

double now_ms()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A message sent to the sheet as the system sends it, with the sheet's answer and how long it
// took; -1 when no answer came within the system's own patience (5 s).
LRESULT ask(HWND sheet, UINT message, WPARAM wparam, double* took_ms = nullptr)
{
    DWORD_PTR result = 0;
    const double start = now_ms();
    const bool answered = SendMessageTimeoutA(sheet, message, wparam, 0, SMTO_NORMAL, 5000, &result) != 0;
    if (took_ms != nullptr) {
        *took_ms = answered ? now_ms() - start : 5000.0;
    }
    return answered ? static_cast<LRESULT>(result) : -1;
}

bool tool_is_32_bit()
{
    DWORD type = 0;
    return GetBinaryTypeA((ToolDirectory + "\\MolaFlashSim.exe").c_str(), &type) && type == SCS_32BIT_BINARY;
}

// The questions of a session's end and of a suspend, and what the sheet answered.
void expect_holds(HWND sheet, bool writing)
{
    const LRESULT session = ask(sheet, WM_QUERYENDSESSION, 0);
    const LRESULT suspend = ask(sheet, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND);
    const char* when = writing ? "during the update" : "after it";
    if (writing ? session != FALSE : session == FALSE || session == -1) {
        check_failed("%s the sheet answers %ld to the end of the session", when, static_cast<long>(session));
    }
    if (writing ? suspend != BROADCAST_QUERY_DENY : suspend == BROADCAST_QUERY_DENY || suspend == -1) {
        check_failed("%s the sheet answers %ld to a suspend", when, static_cast<long>(suspend));
    }
}

void answers_while_writing(HWND sheet)
{
    HWND p = page(sheet, 0);
    HWND status = GetDlgItem(p, IDC_STATUS);
    choose(p, IDC_PCI);
    post_update(p);
    if (!wait_for(START_TIMEOUT_MS, [&] { return is_percent(shown_text(status)); })) {
        check_failed("no update started: the page shows %s", quoted(shown_text(status)).c_str());
        return;
    }
    std::set<std::string> percents;
    double slowest = 0;
    double last_change = now_ms();
    double longest_still = 0;
    int asked = 0;
    bool closes_sent = false;
    std::string text = shown_text(status);
    while (is_percent(text) && IsWindow(sheet)) {
        double took = 0;
        if (ask(sheet, WM_NULL, 0, &took) == -1) {
            check_failed("the sheet gave no answer within 5 s at %s", text.c_str());
        }
        slowest = took > slowest ? took : slowest;
        ++asked;
        if (percents.insert(text).second) {
            longest_still = now_ms() - last_change > longest_still ? now_ms() - last_change : longest_still;
            last_change = now_ms();
        }
        if (!closes_sent && std::stoi(text) >= 20) {
            closes_sent = true;
            expect_holds(sheet, true);
            // Close requests and a change of page from outside, as the taskbar or another
            // program sends them: all refused while the card is written.
            ask(sheet, WM_CLOSE, 0);
            ask(sheet, WM_SYSCOMMAND, SC_CLOSE);
            PostMessageA(sheet, WM_CLOSE, 0, 0);
            PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            PostMessageA(sheet, PSM_SETCURSEL, 1, 0);
            std::printf("  end of session, suspend and close requests sent at %s\n", text.c_str());
        }
        Sleep(ASK_EVERY_MS);
        text = shown_text(status);
    }
    expect_text("result", text, "Success");
    if (!IsWindow(sheet) || !IsWindowVisible(sheet)) {
        check_failed("the sheet closed during the update");
        return;
    }
    expect_int("selected tab", current_tab(sheet), 0);
    expect_int("progress bar", send(GetDlgItem(p, IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    std::printf("  %d messages answered, the slowest in %.1f ms; %zu percent texts, the longest without a new one "
                "%.0f ms\n",
                asked, slowest, percents.size(), longest_still);
    if (!closes_sent) {
        check_failed("the update ended before the requests could be sent");
    }
    if (percents.size() < 10) {
        check_failed("the percent text took %zu values", percents.size());
    }
    // Under an emulator the 32-bit tool runs many times slower than on a machine: its figures
    // are reported, the limit holds for the tool at full speed.
    if (slowest >= MOST_ANSWER_MS && !tool_is_32_bit()) {
        check_failed("the slowest answer took %.1f ms", slowest);
    }
    expect_holds(sheet, false);
    close_and_expect_end(sheet, true);
}

// A state file of its own under the temporary folder, gone before and after.
struct StateFile {
    std::string path;
    StateFile()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "mola-power-cut-" + std::to_string(GetCurrentProcessId()) + ".state";
        DeleteFileA(path.c_str());
    }
    ~StateFile() { DeleteFileA(path.c_str()); }
};

void scenario_power_cut_then_update()
{
    const StateFile state;
    const Settings settings = {{"MOLA_SIM_CLOCK", "real"}, {"MOLA_SIM_CARDS", "pci:9"}, {"MOLA_SIM_STATE", state.path.c_str()}};
    HWND sheet = start_sheet(settings);
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, 0);
    expect_page(p, "before the update", "9\n", "Not updated", 0);
    choose(p, IDC_PCI);
    post_update(p);
    // The process ends part of the way through the programming, before the card is complete.
    HWND status = GetDlgItem(p, IDC_STATUS);
    if (!wait_for(UPDATE_TIMEOUT_MS, [&] {
            const std::string text = shown_text(status);
            return is_result(text) || (is_percent(text) && std::stoi(text) >= 20);
        })) {
        check_failed("the update did not reach 20 %%");
    }
    const std::string cut_at = shown_text(status);
    stop_tool();
    wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
    std::printf("  the tool was ended at %s\n", cut_at.c_str());
    if (!is_percent(cut_at) || std::stoi(cut_at) >= 40) {
        check_failed("the tool was ended at %s, not while the card was programmed", quoted(cut_at).c_str());
    }

    // The next start finds a card whose logic is incomplete; it is updated again.
    sheet = start_sheet(settings);
    if (sheet == nullptr) {
        return;
    }
    p = page(sheet, 0);
    expect_page(p, "after the power cut", "0\n", "Not updated", 0);
    take_shot("after-cut");
    choose(p, IDC_PCI);
    post_update(p);
    expect_text("result", wait_result(p), "Success");
    close_and_expect_end(sheet, true);

    // And the start after that finds the tool's configuration.
    sheet = start_sheet(settings);
    if (sheet != nullptr) {
        expect_page(page(sheet, 0), "after the update", "10\n", "Up-to-date", 0);
        take_shot("next-start");
        close_and_expect_end(sheet, false);
    }
}

const Scenario WRITING_SCENARIOS[] = {
    {"answers-while-writing", {{"MOLA_SIM_CLOCK", "real"}}, answers_while_writing},
    {"power-cut-then-update", {}, nullptr, false, scenario_power_cut_then_update},
};

} // namespace

std::span<const Scenario> writing_scenarios()
{
    return WRITING_SCENARIOS;
}
