// Scenarios kept in files of their own, each file with its table; gui_scenarios.cpp runs
// and lists them with the others.
#pragma once

#include <span>

struct Scenario {
    const char* name;
    void (*run)();
};

// Input given during an update with real mouse clicks and keys, and the keyboard alone
// (input_scenarios.cpp).
std::span<const Scenario> input_scenarios();
// The diagnostic log read from a redirected standard output (log_scenarios.cpp).
std::span<const Scenario> log_scenarios();
// What a person meets at the tool's edges: Enter, a second copy, a newer card, a low
// battery, the interface question holding the sheet, the log of each kind of failure
// (edge_scenarios.cpp).
std::span<const Scenario> edge_scenarios();
// Around the ten seconds of an update at the card's pace: the sheet answering the system, and
// an update cut off by the end of the process, redone (writing_scenarios.cpp).
std::span<const Scenario> writing_scenarios();
// The questions before an update, one scenario per row of their table: true when `name` is
// one of them (and it has run).
bool run_question_scenario(const char* name);
void list_question_scenarios();
