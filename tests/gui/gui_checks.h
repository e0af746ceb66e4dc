// Checks of the executables' resources and of a live card page's controls.
#pragma once

#include <windows.h>

#include <string>

// The card page's dialog template 101 in a module loaded as data.
void check_dialog_template(HMODULE module, const std::string& exe);
// The version information of the executable at path; file_name is its "OriginalFilename".
void check_version_info(const std::string& path, const std::string& exe, const char* file_name);
// Creation order, ids and classes of a live page's controls, the bar's range, no radio chosen.
void check_page_controls(HWND page);
// How an executable writes its standard output: a GUI program whose output stream, writing
// and flushing all come from the system's C runtime library (runtime_checks.cpp).
void check_output_runtime(const std::string& path, const std::string& exe);
