// GUI scenarios: MolaFlashSim.exe started with a simulated configuration and worked from
// outside as a person would, each scenario checking what the sheet shows and how the tool ends.
//
// Usage: gui_driver --list
//        gui_driver SCENARIO DIRECTORY   (DIRECTORY holds MolaFlashSim.exe and MolaFlash.exe)
// Prints "PASS SCENARIO" and exits 0 when every check held; prints each failed check and
// "FAIL SCENARIO" and exits 1 otherwise.
#include "devtools/sheet_driver/sheet_driver.h"

#include <prsht.h>

#include <cstdio>
#include <cstring>

#include "tests/gui/gui_checks.h"
#include "tests/gui/gui_scenarios.h"

namespace {

constexpr const char* POWER_OFF_TEXT = "Shut down and power off the computer\nfor the update to become active.";
constexpr const char* CHOOSE_TEXT = "Please select your interface type (PCI/CardBus)";

// ---- scenarios where no sheet can open: the tool says why in a box and ends with code 1 ----

struct NoCard {
    const char* name;
    Settings settings;
    const char* exe;
    const char* text;
};

const NoCard NO_CARDS[] = {
    {"no-driver", {{"MOLA_SIM_DRIVER", "none"}}, "MolaFlashSim.exe", APP_NO_DRIVER_TEXT},
    {"no-driver-9x", {{"MOLA_SIM_DRIVER", "9x"}, {"MOLA_SIM_FAULTS", "device-missing"}}, "MolaFlashSim.exe",
     APP_NO_DRIVER_TEXT},
    // The real executable on a machine with no card driver.
    {"molaflash-no-driver", {}, "MolaFlash.exe", APP_NO_DRIVER_TEXT},
    {"first-card-missing", {{"MOLA_SIM_FAULTS", "device-missing@0"}}, "MolaFlashSim.exe", APP_NO_DRIVER_TEXT},
    {"first-card-unreadable", {{"MOLA_SIM_FAULTS", "card-info-fails@0"}}, "MolaFlashSim.exe", APP_NO_ANSWER_TEXT},
    {"driver-bad-answer", {{"MOLA_SIM_FAULTS", "wrong-magic"}}, "MolaFlashSim.exe", APP_BAD_ANSWER_TEXT},
    {"zero-cards", {{"MOLA_SIM_COUNT", "0"}}, "MolaFlashSim.exe",
     "The MOLA card driver reports 0 cards; this tool serves 1 to 6.\n\nCheck the cards and their driver, then "
     "start this tool again."},
    {"seven-cards", {{"MOLA_SIM_CARDS", "pci:9,pci:9,pci:9,pci:9,pci:9,pci:9"}, {"MOLA_SIM_COUNT", "7"}},
     "MolaFlashSim.exe",
     "The MOLA card driver reports 7 cards; this tool serves 1 to 6.\n\nCheck the cards and their driver, then "
     "start this tool again."},
};

// ---- scenarios of a malformed simulation: the tool says why and ends with code 64 ----

struct BadConfiguration {
    const char* name;
    Settings settings;
};

const BadConfiguration BAD_CONFIGURATIONS[] = {
    {"bad-count", {{"MOLA_SIM_COUNT", "5,6"}}},
    {"bad-fault", {{"MOLA_SIM_FAULTS", "vanish@7"}}},
    {"bad-power", {{"MOLA_SIM_POWER", "battery:101"}}},
    // A file that is no state file of the simulated cards.
    {"bad-state", {{"MOLA_SIM_STATE", "C:\\windows\\win.ini"}}},
};

// ---- scenarios of one page: choose, press Update one or more times, check the page ----

// What the bar must show after the last press: exactly `low` when low == high, else a
// value from low to high (a run that stopped part of the way).
struct Bar {
    long long low;
    long long high;
};

struct Press {
    int radio;           // IDC_PCI or IDC_CARDBUS
    const char* status;  // the page's status text after the run
    Bar bar;
};

struct UpdateScenario {
    const char* name;
    Settings settings;
    int page;            // 0-based
    const char* revision;
    std::vector<Press> presses;
    bool power_off;      // the power-off message after the sheet closes
};

const UpdateScenario UPDATE_SCENARIOS[] = {
    {"pci-success", {}, 0, "9\n", {{IDC_PCI, "Success", {100, 100}}}, true},
    {"wrong-interface", {}, 0, "9\n", {{IDC_CARDBUS, "Failed", {0, 99}}}, false},
    // A card whose read-back fails late in the run: the bar stays where the run stopped.
    {"fails-mid-run", {{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}}, 0, "9\n", {{IDC_PCI, "Failed", {1, 99}}}, false},
    // Each run starts with an empty bar: a run that fails at its start leaves it empty.
    {"success-then-failure", {}, 0, "9\n",
     {{IDC_PCI, "Success", {100, 100}}, {IDC_CARDBUS, "Failed", {0, 0}}}, true},
    {"retry-after-failure", {{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}}, 0, "9\n",
     {{IDC_PCI, "Failed", {1, 99}}, {IDC_CARDBUS, "Failed", {0, 0}}}, false},
    {"update-twice", {{"MOLA_SIM_CARDS", "cardbus:10"}}, 0, "10\n",
     {{IDC_CARDBUS, "Success", {100, 100}}, {IDC_CARDBUS, "Success", {100, 100}}}, true},
    // The driver cannot map the card: the card is not touched, and the page says so.
    {"map-fails", {{"MOLA_SIM_FAULTS", "map-fails@0"}}, 0, "9\n", {{IDC_PCI, "Failed", {0, 0}}}, false},
    {"map-address-zero", {{"MOLA_SIM_FAULTS", "map-address-zero@0"}}, 0, "9\n", {{IDC_PCI, "Failed", {0, 0}}}, false},
};

void run_update_scenario(const UpdateScenario& s)
{
    HWND sheet = start_sheet(s.settings);
    if (sheet == nullptr) {
        return;
    }
    HWND p = page(sheet, s.page);
    int run = 0;
    for (const Press& press : s.presses) {
        const std::string name = "run " + std::to_string(++run);
        choose(p, press.radio);
        press_update(p);
        const PageView v = view(p);
        take_shot(("run" + std::to_string(run)).c_str());
        expect_text(name + " revision", v.revision, s.revision);
        expect_text(name + " status", v.status, press.status);
        if (press.bar.low == press.bar.high) {
            expect_int(name + " progress bar", v.bar, press.bar.low);
        } else {
            std::printf("  %s stopped with the bar at %lld\n", name.c_str(), v.bar);
            if (v.bar < press.bar.low || v.bar > press.bar.high) {
                check_failed("%s progress bar is %lld, expected %lld to %lld", name.c_str(), v.bar, press.bar.low,
                             press.bar.high);
            }
        }
    }
    if (HWND box = message_box(sheet)) {
        check_failed("unexpected message box %s", quoted(box_text(box)).c_str());
    }
    close_and_expect_end(sheet, s.power_off);
}

// ---- scenarios of their own ----

void scenario_resources()
{
    // The texts the tool shows are the system's own, word for word.
    expect_text("sheet caption", APP_SHEET_CAPTION, expected_sheet_caption());
    expect_text("message box caption", APP_MESSAGE_CAPTION, "MOLA Flash Update Tool");
    expect_text("power-off text", APP_POWER_OFF_TEXT, POWER_OFF_TEXT);
    expect_text("interface question", APP_CHOOSE_INTERFACE_TEXT, CHOOSE_TEXT);
    for (const char* exe : {"MolaFlashSim.exe", "MolaFlash.exe"}) {
        const std::string path = ToolDirectory + "\\" + exe;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) {
            check_failed("cannot load %s as data (error %lu)", path.c_str(), GetLastError());
            continue;
        }
        check_dialog_template(module, exe);
        FreeLibrary(module);
        check_version_info(path, exe, exe);
    }
}

void scenario_six_cards()
{
    HWND sheet = start_sheet({{"MOLA_SIM_CARDS", "pci:9,cardbus:10,pci:11,cardbus:9,pci:10,cardbus:11"}});
    if (sheet == nullptr) {
        return;
    }
    const std::vector<std::string> titles = tab_titles(sheet);
    expect_int("tabs", static_cast<long long>(titles.size()), 6);
    for (std::size_t i = 0; i < titles.size() && !TabTextsUnreadable; ++i) {
        expect_text("tab " + std::to_string(i), titles[i], "Card " + std::to_string(i + 1));
    }
    expect_int("selected tab", current_tab(sheet), 0);
    expect_page(page(sheet, 5), "page 6", "11\n", "Up-to-date", 0);
    take_shot("page6");
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
    // A card that could not be read says so, with no revision that was never read; Update
    // still probes it again.
    HWND unread = page(sheet, 4);
    expect_page(unread, "failed probe", APP_UNKNOWN_REVISION_TEXT, APP_UNREACHABLE_TEXT, 0);
    choose(unread, IDC_PCI);
    press_update(unread);
    expect_page(unread, "failed probe after Update", APP_UNKNOWN_REVISION_TEXT, "Failed", 0);
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
    post_update(p);
    HWND box = wait_message_box(sheet);
    if (box == nullptr) {
        check_failed("no message box after Update with no interface chosen");
    } else {
        take_box_shot("box");
        check_and_close_box(box, CHOOSE_TEXT);
    }
    expect_page(p, "page 1", "9\n", "Not updated", 0);
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
    expect_page(second, "page 2 at start", "10\n", "Up-to-date", 0);
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

constexpr Scenario OWN_SCENARIOS[] = {
    {"resources", scenario_resources}, {"six-cards", scenario_six_cards},   {"revisions", scenario_revisions},
    {"no-interface", scenario_no_interface}, {"two-pages", scenario_two_pages}, {"win9x", scenario_win9x},
};

const std::span<const Scenario> SCENARIO_TABLES[] = {OWN_SCENARIOS, input_scenarios(), log_scenarios(),
                                                      edge_scenarios(), writing_scenarios()};

// Runs the named scenario; false when there is none of that name.
bool run_scenario(const char* name)
{
    for (const NoCard& s : NO_CARDS) {
        if (std::strcmp(name, s.name) == 0) {
            set_simulation(s.settings);
            if (start_tool(s.exe)) {
                expect_box_then_exit(s.text, APP_EXIT_NO_CARD);
            }
            return true;
        }
    }
    for (const BadConfiguration& s : BAD_CONFIGURATIONS) {
        if (std::strcmp(name, s.name) == 0) {
            set_simulation(s.settings);
            if (start_tool()) {
                if (!wait_for(EXIT_TIMEOUT_MS, [] { return tool_exited(); })) {
                    check_failed("the tool did not end");
                }
                expect_int("exit code", tool_exit_code(), 64);
                expect_int("windows", static_cast<long long>(tool_windows().size()), 0);
            }
            return true;
        }
    }
    for (const UpdateScenario& s : UPDATE_SCENARIOS) {
        if (std::strcmp(name, s.name) == 0) {
            run_update_scenario(s);
            return true;
        }
    }
    for (const std::span<const Scenario> table : SCENARIO_TABLES) {
        for (const Scenario& s : table) {
            if (std::strcmp(name, s.name) == 0) {
                s.run();
                return true;
            }
        }
    }
    return run_question_scenario(name);
}

void list_scenarios()
{
    for (const NoCard& s : NO_CARDS) {
        std::printf("%s\n", s.name);
    }
    for (const BadConfiguration& s : BAD_CONFIGURATIONS) {
        std::printf("%s\n", s.name);
    }
    for (const UpdateScenario& s : UPDATE_SCENARIOS) {
        std::printf("%s\n", s.name);
    }
    for (const std::span<const Scenario> table : SCENARIO_TABLES) {
        for (const Scenario& s : table) {
            std::printf("%s\n", s.name);
        }
    }
    list_question_scenarios();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        list_scenarios();
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_driver --list | gui_driver SCENARIO DIRECTORY\n");
        return 2;
    }
    ToolDirectory = argv[2];
    if (!run_scenario(argv[1])) {
        std::fprintf(stderr, "unknown scenario %s\n", argv[1]);
        return 2;
    }
    stop_tool();
    std::printf("%s %s\n", CheckFailures == 0 ? "PASS" : "FAIL", argv[1]);
    return CheckFailures == 0 ? 0 : 1;
}
