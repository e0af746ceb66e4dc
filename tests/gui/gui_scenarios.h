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
