// The scenarios' checks (sheet_checks.cpp, on GoogleTest), and the checks of the executables'
// resources and of a live card page's controls.
#pragma once

#include <windows.h>

#include <string>

// A text or a number as expected; `what` names it in the failure.
void expect_text(const std::string& what, const std::string& actual, const std::string& expected);
void expect_int(const std::string& what, long long actual, long long expected);
// A page's revision, status and bar.
void expect_page(HWND page, const std::string& name, const char* revision, const char* status, long long bar);
// Checks caption, text, the information icon and a single OK button; then presses OK.
void check_and_close_box(HWND box, const char* expected_text);
// Checks a question: caption, text, one icon, the buttons Yes and No with No the default, and
// the box owned by `owner`, which takes no input while the box is up.
void check_question(HWND box, const std::string& expected_text, HWND owner);
// Waits for a box of the tool while no sheet shows, checks that it has no owner, the caption,
// the text, one icon and one OK button, clicks OK and expects the tool to end with exit_code.
void expect_box_then_exit(const char* expected_text, long long exit_code);

// Waits for the tool to end with exit code 0, failing on any window that shows up meanwhile.
void expect_exit_without_window(HWND sheet);
// Closes the sheet; expects the power-off message once (or not at all), then the end.
void close_and_expect_end(HWND sheet, bool power_off_message);

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
