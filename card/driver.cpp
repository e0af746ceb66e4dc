// Driver interface: every request opens the device anew and closes it again, so no handle
// outlives a call. A failed probe leaves the register pointer as it was.
#include "card/driver.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/os.h"

DriverFamily CardDriverFamily = DriverFamily::Nt;
std::int32_t CardCount = 0;
std::int32_t HardwareRevision = 0;
RegAddr RegisterPointer = 0;
char DevicePath[32] = {};
ProbeFailure LastProbeFailure = ProbeFailure::None;

namespace {

// Whether the last driver_control failed because the device path could not be opened.
bool LastOpenFailed = false;

bool card_count_valid(std::int32_t count)
{
    return count >= 1 && count <= MAX_CARDS;
}

// Records why the probe fails and returns the probe's failure result.
int fail(ProbeFailure why)
{
    LastProbeFailure = why;
    return 0;
}

int probe_nt(std::int32_t k, int map)
{
    // 13 * k cannot overflow for any card index a caller can hold in the page records;
    // compute it wide anyway so that no index makes it undefined.
    std::snprintf(DevicePath, sizeof DevicePath, "\\\\.%s%lld", DRIVER_NT_DEVICE_NAME,
                  static_cast<long long>(k) * DRIVER_NT_DEVICE_STEP);

    std::uint8_t info[CARD_INFO_SIZE];
    std::memset(info, 0, sizeof info);
    if (!driver_control(CTL_CARD_INFO, nullptr, 0, info, CARD_INFO_SIZE)) {
        return fail(LastOpenFailed ? ProbeFailure::NotFound : ProbeFailure::NoAnswer);
    }
    if (driver_get_le32(info + offsetof(CardInfo, magic)) != CARD_INFO_MAGIC) {
        return fail(ProbeFailure::BadAnswer);
    }
    CardCount = static_cast<std::int32_t>(driver_get_le32(info + offsetof(CardInfo, card_count)));
    if (!card_count_valid(CardCount)) {
        return fail(ProbeFailure::BadCount);
    }
    HardwareRevision = static_cast<std::int32_t>(driver_get_le32(info + offsetof(CardInfo, revision)));
    if (!map) {
        return 1;
    }
    std::uint8_t address[4] = {0, 0, 0, 0};
    if (!driver_control(CTL_MAP_REGISTER, nullptr, 0, address, sizeof address)) {
        return fail(ProbeFailure::MapFailed);
    }
    const std::uint32_t register_address = driver_get_le32(address);
    if (register_address == 0) {
        return fail(ProbeFailure::MapFailed);
    }
    RegisterPointer = static_cast<RegAddr>(register_address) + REGISTER_POINTER_OFFSET;
    return 1;
}

// One 9x request with a fresh 12-byte request whose word 0 is the given value.
int vxd_request(OsHandle h, std::uint32_t code, std::uint32_t word0, std::uint8_t* reply)
{
    std::uint8_t request[VXD_REQUEST_SIZE];
    std::memset(request, 0, sizeof request);
    driver_put_le32(request, word0);
    return os_device_io_control(h, code, request, VXD_REQUEST_SIZE, reply, VXD_REPLY_SIZE);
}

int probe_9x_open(OsHandle h, std::int32_t k, int map)
{
    std::uint8_t reply[VXD_REPLY_SIZE];
    std::memset(reply, 0, sizeof reply);

    if (!vxd_request(h, VXD_GET_CARD_COUNT, 0, reply)) {
        return fail(ProbeFailure::NoAnswer);
    }
    CardCount = static_cast<std::int32_t>(driver_get_le32(reply + 0));
    if (!card_count_valid(CardCount)) {
        return fail(ProbeFailure::BadCount);
    }
    if (!vxd_request(h, VXD_GET_CARD, static_cast<std::uint32_t>(k), reply)) {
        return fail(ProbeFailure::NoAnswer);
    }
    const std::uint32_t card_structure = driver_get_le32(reply + 0);
    if (card_structure == 0) {
        return fail(ProbeFailure::NoAnswer);
    }
    HardwareRevision = mem_read_u16(static_cast<RegAddr>(card_structure) + VXD_CARD_REVISION_OFFSET);
    if (map) {
        if (!vxd_request(h, VXD_MAP_REGISTER, static_cast<std::uint32_t>(k), reply)) {
            return fail(ProbeFailure::MapFailed);
        }
        const std::uint32_t register_address = driver_get_le32(reply + VXD_MAP_REPLY_ADDRESS);
        if (register_address == 0) {
            return fail(ProbeFailure::MapFailed);
        }
        RegisterPointer = static_cast<RegAddr>(register_address) + REGISTER_POINTER_OFFSET;
    }
    return 1;
}

int probe_9x(std::int32_t k, int map)
{
    const OsHandle h = os_create_file(DRIVER_VXD_PATH, 0, 0, 0, OS_FILE_FLAG_DELETE_ON_CLOSE);
    if (h == OS_INVALID_HANDLE) {
        return fail(ProbeFailure::NotFound);
    }
    const int result = probe_9x_open(h, k, map);
    os_close_handle(h);
    return result;
}

} // namespace

int driver_control(std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                   std::uint32_t out_size)
{
    const OsHandle h = os_create_file(DevicePath, OS_GENERIC_READ, 0, OS_OPEN_EXISTING, 0);
    LastOpenFailed = h == OS_INVALID_HANDLE;
    if (LastOpenFailed) {
        return 0;
    }
    const int ok = os_device_io_control(h, code, in, in_size, out, out_size);
    os_close_handle(h);
    return ok ? 1 : 0;
}

int driver_probe(std::int32_t k, int map)
{
    LastProbeFailure = ProbeFailure::None;
    if (os_nt_line()) {
        CardDriverFamily = DriverFamily::Nt;
        return probe_nt(k, map);
    }
    CardDriverFamily = DriverFamily::Win9x;
    return probe_9x(k, map);
}

void driver_release()
{
    if (CardDriverFamily == DriverFamily::Win9x) {
        return;
    }
    std::uint8_t address[4];
    driver_put_le32(address, static_cast<std::uint32_t>(RegisterPointer - REGISTER_POINTER_OFFSET));
    driver_control(CTL_UNMAP_REGISTER, address, sizeof address, nullptr, 0);
}
