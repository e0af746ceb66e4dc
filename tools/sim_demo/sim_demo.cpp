// The demonstration that the main job (tools/run-sim.sh) runs: starts MolaFlashSim.exe with
// the simulation as the environment configures it, updates every card with its own
// interface's program, prints each page's status text, and shows each page in turn so that
// the caller can take a screenshot of it. When the cards keep their memory in a state file
// (MOLA_SIM_STATE), it then starts the tool once more and prints what each page reads now.
//
// Usage: sim_demo DIRECTORY SYNC_DIRECTORY
//   DIRECTORY holds MolaFlashSim.exe. Before closing the sheet the demonstration shows page N,
//   prints "SHOT N" and waits for SYNC_DIRECTORY\shot-N.done (take_shot, with MOLA_GUI_SYNC
//   set to SYNC_DIRECTORY).
#include "devtools/sheet_driver/sheet_driver.h"

#include <prsht.h>

#include <cstdarg>
#include <cstdio>

#include "sim/sim_config.h"
#include "sim/sim_state.h"

namespace {

int Failures = 0;

// One start of the tool, the simulation left as the environment configures it: prints what
// each page reads as it opens; when `update`, updates the cards and takes the screenshots
// (take_shot "N") before closing the sheet. The lines of a later start begin with `prefix`.
int run(bool update, const char* prefix)
{
    if (!start_tool()) {
        return 1;
    }
    HWND sheet = find_sheet();
    if (sheet == nullptr) {
        wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
        std::printf("%sthe tool showed no sheet and ended with exit code %lld\n", prefix, tool_exit_code());
        return 1;
    }
    SimConfig config;
    if (update) {
        // The cards as the tool itself reads the environment: it started, so the values are good.
        SimMessage message{};
        sim_parse_environment(sim_environment(), &config, &message);
        sim_state_close(); // the tool's file, only read here
    }
    const std::vector<std::string> titles = tab_titles(sheet);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        // The tab's text, or, where an emulated tool's tab texts cannot be read, its place.
        const std::string name = TabTextsUnreadable ? "page " + std::to_string(i + 1) : titles[i];
        HWND p = page(sheet, static_cast<int>(i));
        const PageView start = view(p);
        std::printf("%s%s: revision %s, %s", prefix, name.c_str(),
                    start.revision.substr(0, start.revision.find('\n')).c_str(), start.status.c_str());
        if (!update) {
            std::printf("\n");
            continue;
        }
        const CardModel model = config.cards[i < SIM_MAX_CARDS ? i : 0].model;
        std::printf("; updating with the %s program\n", card_model_of(model).name);
        std::fflush(stdout);
        choose(p, model == CARD_MODEL_CARDBUS ? IDC_CARDBUS : IDC_PCI);
        press_update(p);
        const PageView v = view(p);
        std::printf("%s: status \"%s\", progress bar %lld\n", name.c_str(), v.status.c_str(), v.bar);
        std::fflush(stdout);
    }
    for (std::size_t i = 0; i < titles.size() && update; ++i) {
        page(sheet, static_cast<int>(i));
        if (!take_shot(std::to_string(i + 1).c_str())) {
            check_failed("no screenshot was taken of page %zu", i + 1);
        }
    }
    close_sheet(sheet, PSBTN_OK);
    if (HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet)) {
        if (update) {
            std::printf("message after closing: %s\n", quoted(box_text(box)).c_str());
        } else {
            check_failed("a message after a start without an update: %s", quoted(box_text(box)).c_str());
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
    std::printf("%sexit code %lld\n", prefix, tool_exit_code());
    std::fflush(stdout);
    return Failures == 0 ? 0 : 1;
}

} // namespace

// What the driver could not do: a line, and the demonstration fails.
void check_failed(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::printf("  failed: ");
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
    va_end(args);
    ++Failures;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sim_demo DIRECTORY SYNC_DIRECTORY\n");
        return 2;
    }
    ToolDirectory = argv[1];
    SetEnvironmentVariableA("MOLA_GUI_SYNC", argv[2]);
    int rc = run(true, "");
    if (rc == 0 && sim_environment().state != nullptr) {
        // The next start over the same cards, which keep their memory in the state file.
        rc = run(false, "second start: ");
    }
    stop_tool();
    return rc;
}
