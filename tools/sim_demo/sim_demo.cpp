// The demonstration that the main job (tools/run-sim.sh) runs: starts MolaFlashSim.exe with
// the simulation as the environment configures it, updates every card with its own
// interface's program, prints each page's status text, and shows each page in turn so that
// the caller can take a screenshot of it. When the cards keep their memory in a state file
// (MOLA_SIM_STATE), it then starts the tool once more and prints what each page reads now.
//
// Usage: sim_demo DIRECTORY SYNC_DIRECTORY
//   DIRECTORY holds MolaFlashSim.exe. Before closing the sheet the demonstration shows page N,
//   prints "SHOT N" and waits for SYNC_DIRECTORY\shot-N.done.
#include "devtools/sheet_driver/sheet_driver.h"

#include <prsht.h>

#include <cstdarg>
#include <cstdio>

#include "sim/sim_config.h"
#include "sim/sim_state.h"

namespace {

int Failures = 0;

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

namespace {

// The pages' names: the tabs' texts, or, where an emulated tool's tab texts cannot be read,
// their places.
std::vector<std::string> page_names(HWND sheet)
{
    std::vector<std::string> titles = tab_titles(sheet);
    for (std::size_t i = 0; i < titles.size() && TabTextsUnreadable; ++i) {
        titles[i] = "page " + std::to_string(i + 1);
    }
    return titles;
}

// The next start of the tool over the same cards: each page's revision and status as it
// opens; the sheet is closed again without an update.
int second_start()
{
    if (!start_tool()) {
        return 1;
    }
    HWND sheet = find_sheet();
    if (sheet == nullptr) {
        return 1;
    }
    const std::vector<std::string> titles = page_names(sheet);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const PageView v = view(page(sheet, static_cast<int>(i)));
        std::printf("second start: %s: revision %s, %s\n", titles[i].c_str(),
                    v.revision.substr(0, v.revision.find('\n')).c_str(), v.status.c_str());
    }
    close_sheet(sheet, PSBTN_OK);
    if (HWND box = wait_message_box(sheet)) {
        check_failed("a message after a start without an update: %s", quoted(box_text(box)).c_str());
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
    std::printf("second start: exit code %lld\n", tool_exit_code());
    return Failures == 0 ? 0 : 1;
}

// Updates every card with its own interface's program, as the environment configures the
// simulation (left as it is), and prints each page's status text. Before closing the sheet
// it shows each page in turn and waits for SYNC\shot-N.done, so that the caller can take a
// screenshot of page N.
int demo(const std::string& sync)
{
    if (!start_tool()) {
        return 1;
    }
    HWND sheet = find_sheet();
    if (sheet == nullptr) {
        wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
        std::printf("the tool showed no sheet and ended with exit code %lld\n", tool_exit_code());
        return 1;
    }
    // The cards as the tool itself reads the environment: it started, so the values are good.
    SimConfig config;
    SimMessage message{};
    sim_parse_environment(sim_environment(), &config, &message);
    sim_state_close(); // the tool's file, only read here
    const std::vector<std::string> titles = page_names(sheet);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        HWND p = page(sheet, static_cast<int>(i));
        const CardModel model = config.cards[i < SIM_MAX_CARDS ? i : 0].model;
        const bool cardbus = model == CARD_MODEL_CARDBUS;
        const PageView start = view(p);
        std::printf("%s: revision %s, %s; updating with the %s program\n", titles[i].c_str(),
                    start.revision.substr(0, start.revision.find('\n')).c_str(), start.status.c_str(),
                    card_model_of(model).name);
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
            check_failed("no screenshot was taken of page %zu", i + 1);
        }
    }
    close_sheet(sheet, PSBTN_OK);
    if (HWND box = wait_message_box(sheet)) {
        std::printf("message after closing: %s\n", quoted(box_text(box)).c_str());
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); });
    std::printf("exit code %lld\n", tool_exit_code());
    std::fflush(stdout);
    if (Failures != 0) {
        return 1;
    }
    return sim_environment().state != nullptr ? second_start() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sim_demo DIRECTORY SYNC_DIRECTORY\n");
        return 2;
    }
    ToolDirectory = argv[1];
    const int rc = demo(argv[2]);
    stop_tool();
    return rc;
}
