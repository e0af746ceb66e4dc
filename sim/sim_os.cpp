// The OS seam on the simulated side: each call is logged and handed to the simulated driver
// (sim_driver.cpp) or the simulated clock. The platform configures itself from the
// environment at the first call unless a test or tool configured it before.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/os.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"

namespace {

constexpr std::uint32_t VERSION_NT = 0x0A280105u; // bit 31 clear
constexpr std::uint32_t VERSION_9X = 0xC0000A04u; // bit 31 set

// Every logged call of the seam starts here: the platform configures itself at the first
// call, and the call is logged while the log has room; after, its record is one that no one
// reads.
SimCall* log_call(SimCallKind kind)
{
    static SimCall unlogged;
    sim_ensure_configured();
    SimCall* c = TheSimCallLog.count < SIM_CALL_LOG_SIZE ? &TheSimCallLog.calls[TheSimCallLog.count++] : &unlogged;
    std::memset(c, 0, sizeof *c);
    c->kind = kind;
    return c;
}

} // namespace

std::uint32_t os_get_version()
{
    log_call(SimCallKind::GetVersion);
    return TheSimConfig.family == DriverFamily::Win9x ? VERSION_9X : VERSION_NT;
}

OsHandle os_create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                        std::uint32_t creation, std::uint32_t flags)
{
    SimCall* c = log_call(SimCallKind::CreateFile);
    std::snprintf(c->path, sizeof c->path, "%s", path);
    c->access = access;
    c->share_mode = share_mode;
    c->creation = creation;
    c->flags = flags;
    c->handle = sim_driver_open(path);
    return c->handle;
}

int os_device_io_control(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size,
                         void* out, std::uint32_t out_size)
{
    SimCall* c = log_call(SimCallKind::DeviceIoControl);
    c->handle = handle;
    c->code = code;
    c->in_size = in_size;
    c->out_size = out_size;
    c->in_present = in != nullptr;
    c->out_present = out != nullptr;
    if (in) {
        std::memcpy(c->in, in, in_size < sizeof c->in ? in_size : sizeof c->in);
    }
    c->result = sim_driver_request(handle, code, in, in_size, out, out_size);
    return c->result;
}

int os_close_handle(OsHandle handle)
{
    SimCall* c = log_call(SimCallKind::CloseHandle);
    c->handle = handle;
    c->result = sim_driver_close(handle) ? 1 : 0;
    return c->result;
}

void os_sleep(std::uint32_t milliseconds)
{
    sim_ensure_configured();
    TheSimClock.slept_ms += milliseconds;
    ++TheSimClock.sleeps;
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        const SimTarget& t = SimTargets[k];
        if (t.sleep && sim_first_card_of_target(k)) {
            t.sleep(t.context, milliseconds);
        }
    }
    if (TheSimClock.real_sleep) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

int os_get_power_status(OsPowerStatus* status)
{
    sim_ensure_configured();
    *status = TheSimConfig.power;
    return 1;
}

std::uint32_t os_set_execution_state(std::uint32_t flags)
{
    log_call(SimCallKind::SetExecutionState)->code = flags;
    return OS_ES_CONTINUOUS; // as a system answers whose state nothing else has set
}

int os_block_shutdown(OsWindow window, const wchar_t* reason)
{
    SimCall* c = log_call(SimCallKind::BlockShutdown);
    c->handle = reinterpret_cast<std::intptr_t>(window);
    std::size_t i = 0;
    for (; reason[i] != 0 && i + 1 < sizeof c->path; ++i) {
        c->path[i] = reason[i] < 128 ? static_cast<char>(reason[i]) : '?';
    }
    c->path[i] = '\0';
    return 1;
}

int os_unblock_shutdown(OsWindow window)
{
    log_call(SimCallKind::UnblockShutdown)->handle = reinterpret_cast<std::intptr_t>(window);
    return 1;
}
