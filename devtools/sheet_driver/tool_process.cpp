// The tool's process, its windows and the messages sent to them from outside.
#include <cstdio>

#include "devtools/sheet_driver/sheet_driver.h"
#include "sim/sim_config.h"

std::string ToolDirectory;

std::string quoted(const std::string& s)
{
    std::string q = "\"";
    for (char c : s) {
        q += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return q + "\"";
}

void set_simulation(const Settings& settings)
{
    for (const SimVariable& variable : SIM_VARIABLES) {
        SetEnvironmentVariableA(variable.name, nullptr);
    }
    SetEnvironmentVariableA(SIM_VAR_CLOCK.name, "virtual");
    for (const auto& [name, value] : settings) {
        SetEnvironmentVariableA(name, value);
    }
}

namespace {

PROCESS_INFORMATION Tool{}; // hProcess null until a tool is started

// The start of start_tool and start_command (sheet_driver.h), in `directory` unless null.
bool create_process(std::string command_line, const char* directory, HANDLE output, PROCESS_INFORMATION* started)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    const BOOL inherit = output != nullptr ? TRUE : FALSE;
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, inherit, 0, nullptr, directory, &startup,
                        started)) {
        check_failed("cannot start %s (error %lu)", command_line.c_str(), GetLastError());
        return false;
    }
    return true;
}

} // namespace

bool start_tool(const char* exe, HANDLE output, PROCESS_INFORMATION* other)
{
    return create_process("\"" + ToolDirectory + "\\" + exe + "\"", nullptr, output, other != nullptr ? other : &Tool);
}

bool start_command(const std::string& command_line)
{
    return create_process(command_line, ToolDirectory.c_str(), nullptr, &Tool);
}

bool adopt_tool(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr) {
        check_failed("cannot open the process of the sheet (error %lu)", GetLastError());
        return false;
    }
    if (Tool.hProcess != nullptr) {
        CloseHandle(Tool.hProcess);
        if (Tool.hThread != nullptr) {
            CloseHandle(Tool.hThread);
        }
    }
    Tool = PROCESS_INFORMATION{process, nullptr, pid, 0};
    return true;
}

bool tool_exited()
{
    return Tool.hProcess != nullptr && WaitForSingleObject(Tool.hProcess, 0) == WAIT_OBJECT_0;
}

long long tool_exit_code()
{
    if (!tool_exited()) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(Tool.hProcess, &code);
    return static_cast<long long>(code);
}

void stop_tool()
{
    if (Tool.hProcess != nullptr && !tool_exited()) {
        TerminateProcess(Tool.hProcess, 99);
    }
}

// The top-level windows are the desktop's children.
std::vector<HWND> windows_of(DWORD pid)
{
    std::vector<HWND> found;
    for (HWND window : children(GetDesktopWindow())) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window)) {
            found.push_back(window);
        }
    }
    return found;
}

std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// WM_GETTEXT is marshalled across processes by the system.
std::string text_of(HWND window)
{
    char text[1024] = {}; // stays empty when the window does not answer
    send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL, UPDATE_TIMEOUT_MS, &result)) {
        check_failed("no answer to message 0x%x", message);
        return 0;
    }
    return static_cast<LRESULT>(result);
}

std::vector<HWND> tool_windows()
{
    return windows_of(Tool.dwProcessId);
}

std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        found.push_back(child);
    }
    return found;
}

bool take_shot(const char* label, bool box)
{
    char sync[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("MOLA_GUI_SYNC", sync, sizeof sync);
    if (n == 0 || n >= sizeof sync) {
        return true;
    }
    std::printf("SHOT %s%s\n", label, box ? " box" : "");
    std::fflush(stdout);
    const std::string done = std::string(sync) + "\\shot-" + label + ".done";
    if (!wait_for(60000, [&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; })) {
        std::printf("  no picture was taken of %s\n", label);
        return false;
    }
    return true;
}
