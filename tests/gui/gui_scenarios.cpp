// GUI scenarios: MolaFlashSim.exe started with a simulated configuration and worked from
// outside as a person would, each scenario checking what the sheet shows and how the tool ends.
//
// Usage: gui_driver --list
//        gui_driver SCENARIO DIRECTORY   (DIRECTORY holds MolaFlashSim.exe and MolaFlash.exe)
// Prints "PASS SCENARIO" and exits 0 when every check held; prints each failed check and
// "FAIL SCENARIO" and exits 1 otherwise.
#include "devtools/sheet_driver/sheet_driver.h"

#include <gtest/gtest.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
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

// ---- updates: choose, press Update on a page one or more times, check every page ----

// What the bar must show after a press: exactly `low` when low == high, else a value from low
// to high (a run that stopped part of the way).
struct Bar {
    long long low;
    long long high;
};

struct Press {
    int page;            // 0-based
    int radio;           // IDC_PCI or IDC_CARDBUS
    const char* status;  // the page's status text after the run
    Bar bar;
};

struct UpdateScenario {
    const char* name;
    Settings settings;
    std::vector<const char*> revisions; // of the pages, in order: every page is checked after each press
    std::vector<Press> presses;
    bool power_off;      // the power-off message after the sheet closes
};

const UpdateScenario UPDATE_SCENARIOS[] = {
    {"pci-success", {}, {"9\n", "10\n"}, {{0, IDC_PCI, "Success", {100, 100}}}, true},
    {"wrong-interface", {}, {"9\n", "10\n"}, {{0, IDC_CARDBUS, "Failed", {0, 99}}}, false},
    // A card whose read-back fails late in the run: the bar stays where the run stopped.
    {"fails-mid-run", {{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}}, {"9\n", "10\n"}, {{0, IDC_PCI, "Failed", {1, 99}}},
     false},
    // Each run starts with an empty bar: a run that fails at its start leaves it empty.
    {"success-then-failure", {}, {"9\n", "10\n"},
     {{0, IDC_PCI, "Success", {100, 100}}, {0, IDC_CARDBUS, "Failed", {0, 0}}}, true},
    {"retry-after-failure", {{"MOLA_SIM_FAULTS", "flash-bit-stuck@0"}}, {"9\n", "10\n"},
     {{0, IDC_PCI, "Failed", {1, 99}}, {0, IDC_CARDBUS, "Failed", {0, 0}}}, false},
    {"update-twice", {{"MOLA_SIM_CARDS", "cardbus:10"}}, {"10\n"},
     {{0, IDC_CARDBUS, "Success", {100, 100}}, {0, IDC_CARDBUS, "Success", {100, 100}}}, true},
    // The driver cannot map the card: the card is not touched, and the page says so.
    {"map-fails", {{"MOLA_SIM_FAULTS", "map-fails@0"}}, {"9\n", "10\n"}, {{0, IDC_PCI, "Failed", {0, 0}}}, false},
    {"map-address-zero", {{"MOLA_SIM_FAULTS", "map-address-zero@0"}}, {"9\n", "10\n"},
     {{0, IDC_PCI, "Failed", {0, 0}}}, false},
    // Each page updates its own card; the other page stays as it was.
    {"two-pages", {}, {"9\n", "10\n"}, {{1, IDC_CARDBUS, "Success", {100, 100}}, {0, IDC_PCI, "Success", {100, 100}}},
     true},
    // The 9x driver family: the same two pages, the same update.
    {"win9x", {{"MOLA_SIM_DRIVER", "9x"}}, {"9\n", "10\n"}, {{0, IDC_PCI, "Success", {100, 100}}}, true},
};

const UpdateScenario* Updating = nullptr; // the row whose sheet the skeleton hands to run_updates

void expect_bar(const std::string& name, long long bar, const Bar& expected)
{
    if (expected.low == expected.high) {
        expect_int(name + " progress bar", bar, expected.low);
        return;
    }
    std::printf("  %s stopped with the bar at %lld\n", name.c_str(), bar);
    if (bar < expected.low || bar > expected.high) {
        check_failed("%s progress bar is %lld, expected %lld to %lld", name.c_str(), bar, expected.low, expected.high);
    }
}

void run_updates(HWND sheet)
{
    const UpdateScenario& s = *Updating;
    expect_int("tabs", static_cast<long long>(tab_titles(sheet).size()), static_cast<long long>(s.revisions.size()));
    // What each page shows: at start its card's state, then the result of its last run.
    std::vector<PageView> shown;
    for (const char* revision : s.revisions) {
        shown.push_back({revision, std::atoi(revision) < MOLA_HW_REVISION ? "Not updated" : "Up-to-date", 0});
        const PageView& o = shown.back();
        expect_page(page(sheet, static_cast<int>(shown.size() - 1)), "page " + std::to_string(shown.size()) + " at start",
                    o.revision.c_str(), o.status.c_str(), 0);
    }
    int run = 0;
    for (const Press& press : s.presses) {
        const std::string name = "run " + std::to_string(++run);
        HWND p = page(sheet, press.page);
        choose(p, press.radio);
        press_update(p);
        take_shot(("run" + std::to_string(run)).c_str());
        const PageView v = view(p);
        expect_text(name + " revision", v.revision, shown[static_cast<std::size_t>(press.page)].revision);
        expect_text(name + " status", v.status, press.status);
        expect_bar(name, v.bar, press.bar);
        shown[static_cast<std::size_t>(press.page)] = {v.revision, press.status, v.bar};
        for (std::size_t other = 0; other < shown.size(); ++other) {
            if (static_cast<int>(other) != press.page) {
                const PageView& o = shown[other];
                expect_page(page(sheet, static_cast<int>(other)), name + ", page " + std::to_string(other + 1),
                            o.revision.c_str(), o.status.c_str(), o.bar);
            }
        }
    }
    if (HWND box = wait_dialog(0, sheet)) {
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

void six_cards(HWND sheet)
{
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

void revisions(HWND sheet)
{
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

void no_interface(HWND sheet)
{
    HWND p = page(sheet, 0);
    // The press opens a modal message box inside the handler: post it, do not wait for it.
    post_update(p);
    HWND box = wait_dialog(BOX_TIMEOUT_MS, sheet);
    if (box == nullptr) {
        check_failed("no message box after Update with no interface chosen");
    } else {
        take_shot("box", true);
        check_and_close_box(box, CHOOSE_TEXT);
    }
    expect_page(p, "page 1", "9\n", "Not updated", 0);
    close_and_expect_end(sheet, false);
}

const Scenario OWN_SCENARIOS[] = {
    {"resources", {}, nullptr, false, scenario_resources},
    {"six-cards", {{"MOLA_SIM_CARDS", "pci:9,cardbus:10,pci:11,cardbus:9,pci:10,cardbus:11"}}, six_cards},
    {"revisions", {{"MOLA_SIM_CARDS", "pci:9,pci:10,cardbus:11,pci:-3,pci:10"}, {"MOLA_SIM_FAULTS", "card-info-fails@4"}},
     revisions},
    {"no-interface", {}, no_interface},
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
            Updating = &s;
            run_sheet_scenario({s.name, s.settings, run_updates});
            return true;
        }
    }
    for (const std::span<const Scenario> table : SCENARIO_TABLES) {
        for (const Scenario& s : table) {
            if (std::strcmp(name, s.name) == 0) {
                if (s.on_sheet != nullptr) {
                    run_sheet_scenario(s);
                } else {
                    s.run();
                }
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

void run_sheet_scenario(const Scenario& s)
{
    HWND sheet = start_sheet(s.settings, s.input);
    if (sheet != nullptr) {
        s.on_sheet(sheet);
    }
}

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
    // The scenario runs as the one test of a GoogleTest run, whose checks it reports.
    int gtest_argc = 1;
    testing::InitGoogleTest(&gtest_argc, argv);
    bool known = true;
    const std::string name = argv[1];
    testing::RegisterTest("Gui", name.c_str(), nullptr, nullptr, __FILE__, __LINE__, [&]() -> testing::Test* {
        struct Run : testing::Test {
            std::string scenario;
            bool* found;
            void TestBody() override { *found = run_scenario(scenario.c_str()); }
        };
        auto* run = new Run;
        run->scenario = name;
        run->found = &known;
        return run;
    });
    const int failures = RUN_ALL_TESTS();
    stop_tool();
    if (!known) {
        std::fprintf(stderr, "unknown scenario %s\n", argv[1]);
        return 2;
    }
    std::printf("%s %s\n", failures == 0 ? "PASS" : "FAIL", argv[1]);
    return failures == 0 ? 0 : 1;
}
