// The simulated driver's open handles. Its devices are opened without sharing, so a handle
// that is open already cannot be opened again, as on a real driver.
#include <cstring>

#include "sim/sim_internal.h"

namespace {

constexpr int MAX_OPEN = 16;
OsHandle OpenHandles[MAX_OPEN];

} // namespace

void sim_handles_reset()
{
    std::memset(OpenHandles, 0, sizeof OpenHandles);
    TheSimCallLog.open_handles = 0;
}

bool sim_handle_is_open(OsHandle handle)
{
    for (OsHandle open : OpenHandles) {
        if (open != 0 && open == handle) {
            return true;
        }
    }
    return false;
}

OsHandle sim_handle_open(OsHandle handle)
{
    if (sim_handle_is_open(handle)) {
        return OS_INVALID_HANDLE;
    }
    for (OsHandle& slot : OpenHandles) {
        if (slot == 0) {
            slot = handle;
            ++TheSimCallLog.open_handles;
            return handle;
        }
    }
    return OS_INVALID_HANDLE;
}

bool sim_handle_close(OsHandle handle)
{
    for (OsHandle& slot : OpenHandles) {
        if (slot != 0 && slot == handle) {
            slot = 0;
            --TheSimCallLog.open_handles;
            return true;
        }
    }
    return false;
}
