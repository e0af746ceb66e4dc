// Checks of the executables' resources and of a live card page's controls.
#pragma once

#include <windows.h>

#include <string>

// The caption that names the hardware revision of version.env, CURRENT_REVISION, as the
// tool's texts write it: "MOLA Flash Update Tool, HW Revision 010" for revision 10.
std::string expected_sheet_caption();
// The version of version.env as the version resource's strings write it: "0, 10, 1, 0".
std::string expected_version_text();

// The card page's dialog template 101 in a module loaded as data.
void check_dialog_template(HMODULE module, const std::string& exe);
// The version information of the executable at path; file_name is its "OriginalFilename".
void check_version_info(const std::string& path, const std::string& exe, const char* file_name);
// Creation order, ids and classes of a live page's controls, the bar's range, no radio chosen.
void check_page_controls(HWND page);
// How an executable writes its standard output: a GUI program whose output stream, writing
// and flushing all come from the system's C runtime library (runtime_checks.cpp).
void check_output_runtime(const std::string& path, const std::string& exe);
