// Scenarios kept in files of their own; gui_scenarios.cpp lists them with the others.
#pragma once

// Input given during an update, with real mouse clicks and keys (input_scenarios.cpp).
void scenario_double_update();
void scenario_cancel_during_update();
void scenario_keys_during_update();
void scenario_tab_and_drag_during_update();
// Choosing the interface and updating with the keyboard alone (input_scenarios.cpp).
void scenario_keyboard_only();

// The diagnostic log read from a redirected standard output (log_scenarios.cpp).
void scenario_log_to_file();
void scenario_log_to_pipe();
void scenario_log_molaflash();
