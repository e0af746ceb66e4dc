// The scenarios, each a row of a table: a name, the simulated configuration of the tool, and
// what the scenario does. A scenario that works a sheet runs over one skeleton
// (run_sheet_scenario): the tool started with the settings, the sheet waited for (in front, when
// the scenario gives input), and the body run on it; a scenario with a start of its own (the
// log's redirections, the resources) runs by itself.
#pragma once

#include <span>

#include "devtools/sheet_driver/sheet_driver.h"

struct Scenario {
    const char* name;
    Settings settings;
    void (*on_sheet)(HWND sheet); // the body on the sheet; null: `run` starts what it needs
    bool input = false;           // gives input: the sheet must be in front first
    void (*run)() = nullptr;
};

// Starts the tool with the scenario's settings and runs its body on the sheet; when no sheet
// shows, a failed check says why and the body does not run.
void run_sheet_scenario(const Scenario& s);

// Input given during an update with real mouse clicks and keys, and the keyboard alone
// (input_scenarios.cpp).
std::span<const Scenario> input_scenarios();
// The diagnostic log read from a redirected standard output (log_scenarios.cpp).
std::span<const Scenario> log_scenarios();
// What a person meets at the tool's edges: Enter, a second copy, a newer card, a low
// battery, the interface question holding the sheet (edge_scenarios.cpp).
std::span<const Scenario> edge_scenarios();
// Around the ten seconds of an update at the card's pace: the sheet answering the system, and
// an update cut off by the end of the process, redone (writing_scenarios.cpp).
std::span<const Scenario> writing_scenarios();
// The questions before an update, one scenario per row of their table: true when `name` is
// one of them (and it has run).
bool run_question_scenario(const char* name);
void list_question_scenarios();
