// The operating-system seam on Windows: the Win32 functions themselves.
#include "platform/os.h"

#include <windows.h>

std::uint32_t os_get_version()
{
    return GetVersion();
}

OsHandle os_create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                        std::uint32_t creation, std::uint32_t flags)
{
    HANDLE h = CreateFileA(path, access, share_mode, nullptr, creation, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return OS_INVALID_HANDLE;
    }
    return reinterpret_cast<OsHandle>(h);
}

int os_device_io_control(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size,
                         void* out, std::uint32_t out_size)
{
    DWORD returned = 0;
    return DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in, in_size, out, out_size,
                           &returned, nullptr) ? 1 : 0;
}

int os_close_handle(OsHandle handle)
{
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? 1 : 0;
}

void os_sleep(std::uint32_t milliseconds)
{
    Sleep(milliseconds);
}

namespace {

// A function of a system library that the executable does not import, so that it still loads
// where the function is missing; null then.
template <typename Function>
Function system_function(const char* library, const char* name)
{
    HMODULE module = GetModuleHandleA(library);
    if (module == nullptr) {
        return nullptr;
    }
    // Through void (*)() so that the cast between function pointer types is a plain one.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

int os_get_power_status(OsPowerStatus* status)
{
    using GetPowerStatus = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
    const auto get = system_function<GetPowerStatus>("kernel32.dll", "GetSystemPowerStatus");
    if (get == nullptr) {
        return 0;
    }
    SYSTEM_POWER_STATUS power{};
    if (!get(&power)) {
        return 0;
    }
    status->ac_line = power.ACLineStatus;
    status->battery_flag = power.BatteryFlag;
    status->battery_percent = power.BatteryLifePercent;
    return 1;
}

std::uint32_t os_set_execution_state(std::uint32_t flags)
{
    using SetState = DWORD(WINAPI*)(DWORD);
    const auto set = system_function<SetState>("kernel32.dll", "SetThreadExecutionState");
    return set == nullptr ? 0 : set(flags);
}

int os_block_shutdown(OsWindow window, const wchar_t* reason)
{
    using Create = BOOL(WINAPI*)(HWND, LPCWSTR);
    const auto create = system_function<Create>("user32.dll", "ShutdownBlockReasonCreate");
    return create != nullptr && create(static_cast<HWND>(window), reason) ? 1 : 0;
}

int os_unblock_shutdown(OsWindow window)
{
    using Destroy = BOOL(WINAPI*)(HWND);
    const auto destroy = system_function<Destroy>("user32.dll", "ShutdownBlockReasonDestroy");
    return destroy != nullptr && destroy(static_cast<HWND>(window)) ? 1 : 0;
}
