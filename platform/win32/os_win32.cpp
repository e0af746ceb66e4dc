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

int os_get_power_status(OsPowerStatus* status)
{
    using GetPowerStatus = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return 0;
    }
    // Through void (*)() so that the cast between function pointer types is a plain one.
    const auto found = reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetSystemPowerStatus"));
    if (found == nullptr) {
        return 0;
    }
    SYSTEM_POWER_STATUS power{};
    if (!reinterpret_cast<GetPowerStatus>(found)(&power)) {
        return 0;
    }
    status->ac_line = power.ACLineStatus;
    status->battery_flag = power.BatteryFlag;
    status->battery_percent = power.BatteryLifePercent;
    return 1;
}
