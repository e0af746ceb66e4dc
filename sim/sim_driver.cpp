// The simulated card driver of both families: which device a path opens, and the answers to
// the NT device control codes and the 9x virtual device's requests, with the driver faults.
#include <cstddef>
#include <cstring>

#include "sim/sim_internal.h"

namespace {

constexpr char NT_DOT_PREFIX[] = "\\\\.";

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
    const std::size_t dots = sizeof NT_DOT_PREFIX - 1;
    const std::size_t name = std::strlen(DRIVER_NT_DEVICE_NAME);
    if (std::strncmp(path, NT_DOT_PREFIX, dots) != 0 || std::strncmp(path + dots, DRIVER_NT_DEVICE_NAME, name) != 0) {
        return -1;
    }
    const char* digits = path + dots + name;
    if (*digits < '0' || *digits > '9' || (digits[0] == '0' && digits[1] != '\0')) {
        return -1;
    }
    long number = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9' || number > 1000) {
            return -1;
        }
        number = number * 10 + (*p - '0');
    }
    if (number % DRIVER_NT_DEVICE_STEP != 0 || number / DRIVER_NT_DEVICE_STEP >= TheSimConfig.card_count) {
        return -1;
    }
    return static_cast<int>(number / DRIVER_NT_DEVICE_STEP);
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
        std::uint32_t n = (f & SIM_FAULT_SHORT_CARD_INFO) ? 8 : CARD_INFO_SIZE;
        if (n > out_size) {
            n = out_size;
        }
        std::memcpy(out, info, n);
        return 1;
    }
    case CTL_MAP_REGISTER:
        if ((f & SIM_FAULT_MAP_FAILS) || out == nullptr || out_size < 4) {
            return 0;
        }
        if (f & SIM_FAULT_MAP_ADDRESS_ZERO) {
            driver_put_le32(static_cast<std::uint8_t*>(out), 0);
            return 1;
        }
        driver_put_le32(static_cast<std::uint8_t*>(out), sim_register_address(card));
        sim_set_mapped(card, true);
        return 1;
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
    if (code != VXD_GET_CARD && code != VXD_MAP_REGISTER) {
        return 0;
    }
    if (word0 >= static_cast<std::uint32_t>(TheSimConfig.card_count)) {
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
    if (f & SIM_FAULT_MAP_FAILS) {
        return 0;
    }
    driver_put_le32(reply, 0);
    if (f & SIM_FAULT_MAP_ADDRESS_ZERO) {
        driver_put_le32(reply + VXD_MAP_REPLY_ADDRESS, 0);
        return 1;
    }
    driver_put_le32(reply + VXD_MAP_REPLY_ADDRESS, sim_register_address(card));
    sim_set_mapped(card, true);
    return 1;
}

} // namespace

OsHandle sim_driver_device(const char* path)
{
    if (!TheSimConfig.driver_present) {
        return OS_INVALID_HANDLE;
    }
    if (TheSimConfig.family == DriverFamily::Win9x) {
        const bool missing = (faults_of(-1) & SIM_FAULT_DEVICE_MISSING) != 0;
        return std::strcmp(path, DRIVER_VXD_PATH) == 0 && !missing ? SIM_VXD_HANDLE : OS_INVALID_HANDLE;
    }
    const int card = nt_card_of_path(path);
    if (card < 0 || (faults_of(card) & SIM_FAULT_DEVICE_MISSING)) {
        return OS_INVALID_HANDLE;
    }
    return SIM_NT_HANDLE_BASE + card;
}

int sim_driver_request(OsHandle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size)
{
    if (device == SIM_VXD_HANDLE) {
        return vxd_request(code, in, in_size, out, out_size);
    }
    return nt_request(static_cast<int>(device - SIM_NT_HANDLE_BASE), code, in, in_size, out, out_size);
}
