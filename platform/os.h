// The operating-system calls that card access needs, behind one seam.
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
