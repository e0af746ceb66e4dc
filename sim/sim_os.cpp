// The OS seam on the simulated side: each call is logged and handed to the simulated card
// driver of both families or to the simulated clock. The driver decides which device a path
// opens and answers the NT device control codes and the 9x virtual device's requests, with the
// driver faults. The platform configures itself from the environment at the first call unless
// a test or tool configured it before.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/os.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"

namespace {

// Handles that the simulated driver hands out: one per NT card device, one for the 9x device.
constexpr OsHandle SIM_NT_HANDLE_BASE = 0x100; // card k: 0x100 + k
constexpr OsHandle SIM_VXD_HANDLE = 0x200;

// The devices are opened without sharing, as on a real driver: each is open or not. NT card
// k's device is slot k, the 9x device the last.
bool Open[SIM_MAX_CARDS + 1];

// The slot of a handle that the driver hands out, or -1 for any other.
int slot_of(OsHandle handle)
{
    if (handle == SIM_VXD_HANDLE) {
        return SIM_MAX_CARDS;
    }
    const bool nt = handle >= SIM_NT_HANDLE_BASE && handle < SIM_NT_HANDLE_BASE + SIM_MAX_CARDS;
    return nt ? static_cast<int>(handle - SIM_NT_HANDLE_BASE) : -1;
}

// Faults of a request for card k, or of a request that names no card (k = -1).
std::uint32_t faults_of(int card)
{
    std::uint32_t f = TheSimConfig.driver_faults;
    if (card >= 0 && card < SIM_MAX_CARDS) {
        f |= TheSimConfig.cards[card].driver_faults;
    }
    return f;
}

std::int32_t reported_count()
{
    return TheSimConfig.override_count ? TheSimConfig.reported_count : TheSimConfig.card_count;
}

// Card index of an NT device path "\\.\molaOut<13k>", or -1 when no such device exists.
int nt_card_of_path(const char* path)
{
    for (int k = 0; k < TheSimConfig.card_count; ++k) {
        char device[32];
        std::snprintf(device, sizeof device, "\\\\.%s%d", DRIVER_NT_DEVICE_NAME, k * DRIVER_NT_DEVICE_STEP);
        if (std::strcmp(path, device) == 0) {
            return k;
        }
    }
    return -1;
}

// A map request of either family for card k: its register block's address into `address`,
// or what the map faults make of it; 0 when it fails.
int map_register(int card, std::uint32_t f, std::uint8_t* address)
{
    if (f & SIM_FAULT_MAP_FAILS) {
        return 0;
    }
    if (f & SIM_FAULT_MAP_ADDRESS_ZERO) {
        driver_put_le32(address, 0);
        return 1;
    }
    driver_put_le32(address, sim_register_address(card));
    sim_set_mapped(card, true);
    return 1;
}

int nt_request(int card, std::uint32_t code, const void* in, std::uint32_t in_size, void* out,
               std::uint32_t out_size)
{
    const std::uint32_t f = faults_of(card);
    switch (code) {
    case CTL_CARD_INFO: {
        if ((f & SIM_FAULT_CARD_INFO_FAILS) || out == nullptr) {
            return 0;
        }
        std::uint8_t info[CARD_INFO_SIZE] = {};
        driver_put_le32(info + offsetof(CardInfo, magic),
                        (f & SIM_FAULT_WRONG_MAGIC) ? CARD_INFO_MAGIC - 1 : CARD_INFO_MAGIC);
        driver_put_le32(info + offsetof(CardInfo, revision),
                        static_cast<std::uint32_t>(TheSimConfig.cards[card].revision));
        driver_put_le32(info + offsetof(CardInfo, card_count), static_cast<std::uint32_t>(reported_count()));
        std::memcpy(out, info, std::min((f & SIM_FAULT_SHORT_CARD_INFO) ? 8 : CARD_INFO_SIZE, out_size));
        return 1;
    }
    case CTL_MAP_REGISTER:
        return out != nullptr && out_size >= 4 && map_register(card, f, static_cast<std::uint8_t*>(out));
    case CTL_UNMAP_REGISTER:
        if (in == nullptr || in_size < 4) {
            return 0;
        }
        if (driver_get_le32(static_cast<const std::uint8_t*>(in)) == sim_register_address(card)) {
            sim_set_mapped(card, false);
        }
        return (f & SIM_FAULT_UNMAP_FAILS) ? 0 : 1;
    default:
        return 0;
    }
}

int vxd_request(std::uint32_t code, const void* in, std::uint32_t in_size, void* out, std::uint32_t out_size)
{
    if (in == nullptr || in_size < VXD_REQUEST_SIZE || out == nullptr || out_size < VXD_REPLY_SIZE) {
        return 0;
    }
    const std::uint32_t word0 = driver_get_le32(static_cast<const std::uint8_t*>(in));
    auto* reply = static_cast<std::uint8_t*>(out);
    if (code == VXD_GET_CARD_COUNT) {
        if (faults_of(-1) & SIM_FAULT_VXD_COUNT_FAILS) {
            return 0;
        }
        driver_put_le32(reply, static_cast<std::uint32_t>(reported_count()));
        return 1;
    }
    const bool card_request = code == VXD_GET_CARD || code == VXD_MAP_REGISTER;
    if (!card_request || word0 >= static_cast<std::uint32_t>(TheSimConfig.card_count)) {
        return 0;
    }
    const int card = static_cast<int>(word0);
    const std::uint32_t f = faults_of(card);
    if (code == VXD_GET_CARD) {
        if (f & SIM_FAULT_VXD_CARD_FAILS) {
            return 0;
        }
        driver_put_le32(reply, (f & SIM_FAULT_VXD_CARD_ADDRESS_ZERO) ? 0 : SIM_STRUCTURE_BASE + word0 * SIM_BLOCK_STRIDE);
        return 1;
    }
    if (!map_register(card, f, reply + VXD_MAP_REPLY_ADDRESS)) {
        return 0;
    }
    driver_put_le32(reply, 0);
    return 1;
}

// Opens the device that a CreateFileA of `path` opens. OS_INVALID_HANDLE when there is none (no
// driver, no such path, the device-missing fault) or it is open already (the devices are not
// shared).
OsHandle driver_open(const char* path)
{
    const bool vxd = TheSimConfig.family == DriverFamily::Win9x;
    const int card = vxd ? -1 : nt_card_of_path(path);
    const int slot = vxd ? (std::strcmp(path, DRIVER_VXD_PATH) == 0 ? SIM_MAX_CARDS : -1) : card;
    const bool missing = (faults_of(card) & SIM_FAULT_DEVICE_MISSING) != 0;
    if (!TheSimConfig.driver_present || slot < 0 || missing || Open[slot]) {
        return OS_INVALID_HANDLE;
    }
    Open[slot] = true;
    ++TheSimCallLog.open_handles;
    return vxd ? SIM_VXD_HANDLE : SIM_NT_HANDLE_BASE + slot;
}

// Closes a handle; false when it was not open.
bool driver_close(OsHandle handle)
{
    const int slot = slot_of(handle);
    if (slot < 0 || !Open[slot]) {
        return false;
    }
    Open[slot] = false;
    --TheSimCallLog.open_handles;
    return true;
}

// One request to a device; 0 when the handle is not open.
int driver_request(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                   std::uint32_t out_size)
{
    const int slot = slot_of(handle);
    if (slot < 0 || !Open[slot]) {
        return 0;
    }
    if (handle == SIM_VXD_HANDLE) {
        return vxd_request(code, in, in_size, out, out_size);
    }
    return nt_request(slot, code, in, in_size, out, out_size);
}

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

void sim_driver_reset()
{
    std::memset(Open, 0, sizeof Open);
    TheSimCallLog.open_handles = 0;
}

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
    c->handle = driver_open(path);
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
    c->result = driver_request(handle, code, in, in_size, out, out_size);
    return c->result;
}

int os_close_handle(OsHandle handle)
{
    SimCall* c = log_call(SimCallKind::CloseHandle);
    c->handle = handle;
    c->result = driver_close(handle) ? 1 : 0;
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
