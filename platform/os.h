// The operating-system calls that card access and an update need, behind one seam.
//
// Two sides implement this header, chosen at link time:
//   platform/win32/os_win32.cpp  the Win32 functions themselves (the product);
//   sim/sim_os.cpp               a simulated card driver and a simulated clock.
// The card-access code is the same on both sides.
#pragma once

#include <cstdint>

using OsHandle = std::intptr_t;

// The value CreateFileA gives when a path cannot be opened.
constexpr OsHandle OS_INVALID_HANDLE = -1;

// Argument values of CreateFileA that card access uses (same numbers as Win32).
constexpr std::uint32_t OS_GENERIC_READ = 0x80000000u;
constexpr std::uint32_t OS_OPEN_EXISTING = 3;
constexpr std::uint32_t OS_FILE_FLAG_DELETE_ON_CLOSE = 0x04000000u;

// GetVersion: bit 31 set means the Windows 9x line.
std::uint32_t os_get_version();
constexpr std::uint32_t OS_VERSION_9X_LINE = 0x80000000u;

// Whether the system is of the NT line (which chooses the driver family and the namespace of
// the one-copy lock).
inline bool os_nt_line()
{
    return (os_get_version() & OS_VERSION_9X_LINE) == 0;
}

// CreateFileA with no security attributes and no template.
OsHandle os_create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                        std::uint32_t creation, std::uint32_t flags);

// DeviceIoControl, synchronous, without an overlapped record; the count of bytes
// returned is not reported. Returns nonzero on success.
int os_device_io_control(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size,
                         void* out, std::uint32_t out_size);

// CloseHandle. Returns nonzero on success.
int os_close_handle(OsHandle handle);

// Sleep for a number of milliseconds.
void os_sleep(std::uint32_t milliseconds);

// What the system says of its power source, with the numbers of GetSystemPowerStatus.
struct OsPowerStatus {
    std::uint8_t ac_line;         // OS_AC_OFFLINE, OS_AC_ONLINE or OS_POWER_UNKNOWN
    std::uint8_t battery_flag;    // OS_BATTERY_* bits, or OS_POWER_UNKNOWN
    std::uint8_t battery_percent; // 0 to 100, or OS_POWER_UNKNOWN
};
constexpr std::uint8_t OS_AC_OFFLINE = 0;
constexpr std::uint8_t OS_AC_ONLINE = 1;
constexpr std::uint8_t OS_POWER_UNKNOWN = 255;
constexpr std::uint8_t OS_BATTERY_HIGH = 1;
constexpr std::uint8_t OS_BATTERY_LOW = 2;
constexpr std::uint8_t OS_BATTERY_CRITICAL = 4;
constexpr std::uint8_t OS_BATTERY_CHARGING = 8;
constexpr std::uint8_t OS_NO_BATTERY = 128;

// GetSystemPowerStatus, looked up when it is first needed, so that the executable also loads
// on a system whose kernel lacks it. Returns 1 with *status filled, or 0 when the system
// lacks the call or the call fails.
int os_get_power_status(OsPowerStatus* status);

// SetThreadExecutionState, looked up when it is first needed (the oldest systems lack it):
// with OS_ES_CONTINUOUS | OS_ES_SYSTEM_REQUIRED the system does not sleep on its idle timer
// until OS_ES_CONTINUOUS alone clears it again. Returns the flags that were in effect, or 0
// when the system lacks the call or it fails.
constexpr std::uint32_t OS_ES_SYSTEM_REQUIRED = 0x00000001u;
constexpr std::uint32_t OS_ES_CONTINUOUS = 0x80000000u;
std::uint32_t os_set_execution_state(std::uint32_t flags);

// ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy, looked up when first needed
// (systems before Vista lack them): the reason that the system shows the person while a
// shutdown or log-off waits for this top-level window. Nonzero on success, 0 when the system
// lacks the call or it fails.
using OsWindow = void*;
int os_block_shutdown(OsWindow window, const wchar_t* reason);
int os_unblock_shutdown(OsWindow window);
