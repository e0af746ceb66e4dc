// The OS seam on the simulated side: a card driver of either family, answering exactly the
// requests that card access sends, with faults to reach every failure path.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <chrono>

#include "platform/os.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

SimConfig TheSimConfig;
SimCallLog TheSimCallLog;
SimTarget SimTargets[SIM_MAX_CARDS];
SimCard SimCards[SIM_MAX_CARDS];
std::uint8_t SimCardStructures[SIM_MAX_CARDS][SIM_STRUCTURE_SIZE];

namespace {

constexpr std::uint32_t VERSION_NT = 0x0A280105u;  // bit 31 clear
constexpr std::uint32_t VERSION_9X = 0xC0000A04u;  // bit 31 set
constexpr OsHandle NT_HANDLE_BASE = 0x100;         // handle of card k: 0x100 + k
constexpr OsHandle VXD_HANDLE = 0x200;
constexpr int MAX_OPEN = 16;

bool Configured = false;
bool Mapped[SIM_MAX_CARDS];
OsHandle OpenHandles[MAX_OPEN];

struct FaultName {
    const char* name;
    std::uint32_t bit;
};

constexpr FaultName DRIVER_FAULTS[] = {
    {"device-missing", SIM_FAULT_DEVICE_MISSING},
    {"card-info-fails", SIM_FAULT_CARD_INFO_FAILS},
    {"wrong-magic", SIM_FAULT_WRONG_MAGIC},
    {"short-card-info", SIM_FAULT_SHORT_CARD_INFO},
    {"map-fails", SIM_FAULT_MAP_FAILS},
    {"map-address-zero", SIM_FAULT_MAP_ADDRESS_ZERO},
    {"unmap-fails", SIM_FAULT_UNMAP_FAILS},
    {"vxd-count-fails", SIM_FAULT_VXD_COUNT_FAILS},
    {"vxd-card-fails", SIM_FAULT_VXD_CARD_FAILS},
    {"vxd-card-address-zero", SIM_FAULT_VXD_CARD_ADDRESS_ZERO},
};

void ensure_configured()
{
    if (!Configured && !sim_configure_from_env()) {
        // A bad environment leaves a platform with no driver, so the tool ends quietly.
        SimConfig none = sim_default_config();
        none.driver_present = false;
        sim_configure(none);
    }
}

SimCall* log_call(SimCallKind kind)
{
    if (TheSimCallLog.count >= SIM_CALL_LOG_SIZE) {
        ++TheSimCallLog.dropped;
        return nullptr;
    }
    SimCall* c = &TheSimCallLog.calls[TheSimCallLog.count++];
    std::memset(c, 0, sizeof *c);
    c->kind = kind;
    return c;
}

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

void put_le32(void* p, std::uint32_t v)
{
    auto* b = static_cast<std::uint8_t*>(p);
    b[0] = static_cast<std::uint8_t>(v);
    b[1] = static_cast<std::uint8_t>(v >> 8);
    b[2] = static_cast<std::uint8_t>(v >> 16);
    b[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t get_le32(const void* p)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// Card index of an NT device path "\\.\molaOut<13k>", or -1 when no such device exists.
int nt_card_of_path(const char* path)
{
    static constexpr char PREFIX[] = "\\\\.\\molaOut";
    const std::size_t n = sizeof PREFIX - 1;
    if (std::strncmp(path, PREFIX, n) != 0) {
        return -1;
    }
    const char* digits = path + n;
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
    if (number % 13 != 0 || number / 13 >= TheSimConfig.card_count) {
        return -1;
    }
    return static_cast<int>(number / 13);
}

bool handle_open(OsHandle h)
{
    for (OsHandle open : OpenHandles) {
        if (open == h) {
            return true;
        }
    }
    return false;
}

OsHandle open_handle(OsHandle h)
{
    for (OsHandle& slot : OpenHandles) {
        if (slot == 0) {
            slot = h;
            ++TheSimCallLog.open_handles;
            return h;
        }
    }
    return OS_INVALID_HANDLE;
}

int nt_request(int card, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
               std::uint32_t out_size)
{
    const std::uint32_t f = faults_of(card);
    switch (code) {
    case CTL_CARD_INFO: {
        if ((f & SIM_FAULT_CARD_INFO_FAILS) || out == nullptr) {
            return 0;
        }
        std::uint8_t info[CARD_INFO_SIZE] = {};
        put_le32(info + 0, (f & SIM_FAULT_WRONG_MAGIC) ? CARD_INFO_MAGIC - 1 : CARD_INFO_MAGIC);
        put_le32(info + 4, static_cast<std::uint32_t>(TheSimConfig.cards[card].revision));
        put_le32(info + 72, static_cast<std::uint32_t>(reported_count()));
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
            put_le32(out, 0);
            return 1;
        }
        put_le32(out, sim_register_address(card));
        Mapped[card] = true;
        return 1;
    case CTL_UNMAP_REGISTER:
        if (in == nullptr || in_size < 4) {
            return 0;
        }
        if (get_le32(in) == sim_register_address(card)) {
            Mapped[card] = false;
        }
        return (f & SIM_FAULT_UNMAP_FAILS) ? 0 : 1;
    default:
        return 0;
    }
}

int vxd_request(std::uint32_t code, void* in, std::uint32_t in_size, void* out, std::uint32_t out_size)
{
    if (in == nullptr || in_size < VXD_REQUEST_SIZE || out == nullptr || out_size < VXD_REPLY_SIZE) {
        return 0;
    }
    const std::uint32_t word0 = get_le32(in);
    auto* reply = static_cast<std::uint8_t*>(out);
    switch (code) {
    case VXD_GET_CARD_COUNT:
        if (faults_of(-1) & SIM_FAULT_VXD_COUNT_FAILS) {
            return 0;
        }
        put_le32(reply, static_cast<std::uint32_t>(reported_count()));
        return 1;
    case VXD_GET_CARD: {
        if (word0 >= static_cast<std::uint32_t>(TheSimConfig.card_count)) {
            return 0;
        }
        const int card = static_cast<int>(word0);
        const std::uint32_t f = faults_of(card);
        if (f & SIM_FAULT_VXD_CARD_FAILS) {
            return 0;
        }
        put_le32(reply, (f & SIM_FAULT_VXD_CARD_ADDRESS_ZERO) ? 0 : SIM_STRUCTURE_BASE + word0 * SIM_BLOCK_STRIDE);
        return 1;
    }
    case VXD_MAP_REGISTER: {
        if (word0 >= static_cast<std::uint32_t>(TheSimConfig.card_count)) {
            return 0;
        }
        const int card = static_cast<int>(word0);
        const std::uint32_t f = faults_of(card);
        if (f & SIM_FAULT_MAP_FAILS) {
            return 0;
        }
        put_le32(reply, 0);
        if (f & SIM_FAULT_MAP_ADDRESS_ZERO) {
            put_le32(reply + 4, 0);
            return 1;
        }
        put_le32(reply + 4, sim_register_address(card));
        Mapped[card] = true;
        return 1;
    }
    default:
        return 0;
    }
}

bool parse_model(const char* text, std::size_t len, SimCardModel* model)
{
    if (len == 3 && std::strncmp(text, "pci", 3) == 0) {
        *model = SimCardModel::Pci;
        return true;
    }
    if (len == 7 && std::strncmp(text, "cardbus", 7) == 0) {
        *model = SimCardModel::CardBus;
        return true;
    }
    return false;
}

bool parse_int(const char* text, long* value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || (*end != '\0' && *end != ',' && *end != '@')) {
        return false;
    }
    *value = v;
    return true;
}

int env_error(const char* variable, const char* value)
{
    std::fprintf(stderr, "simulated platform: bad %s value \"%s\"\n", variable, value);
    return 0;
}

} // namespace

SimConfig sim_default_config()
{
    SimConfig c;
    c.card_count = 2;
    c.cards[0].model = SimCardModel::Pci;
    c.cards[0].revision = 9;
    c.cards[1].model = SimCardModel::CardBus;
    c.cards[1].revision = 10;
    return c;
}

void sim_configure(const SimConfig& config)
{
    TheSimConfig = config;
    if (TheSimConfig.card_count < 0) {
        TheSimConfig.card_count = 0;
    }
    if (TheSimConfig.card_count > SIM_MAX_CARDS) {
        TheSimConfig.card_count = SIM_MAX_CARDS;
    }
    Configured = true;
    TheSimCallLog = SimCallLog{};
    std::memset(OpenHandles, 0, sizeof OpenHandles);
    std::memset(SimCardStructures, 0, sizeof SimCardStructures);
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        Mapped[k] = false;
        const SimCardConfig& cc = TheSimConfig.cards[k];
        sim_card_power_on(&SimCards[k], cc.model, cc.card_faults);
        SimTargets[k] = sim_card_target(&SimCards[k]);
        const auto revision = static_cast<std::uint16_t>(cc.revision);
        SimCardStructures[k][VXD_CARD_REVISION_OFFSET] = static_cast<std::uint8_t>(revision);
        SimCardStructures[k][VXD_CARD_REVISION_OFFSET + 1] = static_cast<std::uint8_t>(revision >> 8);
    }
    TheSimClock = SimClock{};
    TheSimClock.real_sleep = TheSimConfig.real_sleep;
}

int sim_configure_from_env()
{
    SimConfig c = sim_default_config();
    c.real_sleep = true;

    if (const char* cards = std::getenv("MOLA_SIM_CARDS")) {
        c.card_count = 0;
        const char* p = cards;
        while (*p) {
            const char* colon = std::strchr(p, ':');
            if (colon == nullptr || c.card_count >= SIM_MAX_CARDS) {
                return env_error("MOLA_SIM_CARDS", cards);
            }
            SimCardConfig& cc = c.cards[c.card_count];
            long revision = 0;
            if (!parse_model(p, static_cast<std::size_t>(colon - p), &cc.model) ||
                !parse_int(colon + 1, &revision) || revision < INT32_MIN || revision > INT32_MAX) {
                return env_error("MOLA_SIM_CARDS", cards);
            }
            cc.revision = static_cast<std::int32_t>(revision);
            ++c.card_count;
            const char* comma = std::strchr(colon, ',');
            p = comma ? comma + 1 : colon + std::strlen(colon);
        }
    }
    if (const char* driver = std::getenv("MOLA_SIM_DRIVER")) {
        if (std::strcmp(driver, "nt") == 0) {
            c.family = DriverFamily::Nt;
        } else if (std::strcmp(driver, "9x") == 0) {
            c.family = DriverFamily::Win9x;
        } else if (std::strcmp(driver, "none") == 0) {
            c.driver_present = false;
        } else {
            return env_error("MOLA_SIM_DRIVER", driver);
        }
    }
    if (const char* count = std::getenv("MOLA_SIM_COUNT")) {
        long v = 0;
        if (!parse_int(count, &v) || v < INT32_MIN || v > INT32_MAX) {
            return env_error("MOLA_SIM_COUNT", count);
        }
        c.override_count = true;
        c.reported_count = static_cast<std::int32_t>(v);
    }
    if (const char* clock = std::getenv("MOLA_SIM_CLOCK")) {
        if (std::strcmp(clock, "real") == 0) {
            c.real_sleep = true;
        } else if (std::strcmp(clock, "virtual") == 0) {
            c.real_sleep = false;
        } else {
            return env_error("MOLA_SIM_CLOCK", clock);
        }
    }
    if (const char* faults = std::getenv("MOLA_SIM_FAULTS")) {
        const char* p = faults;
        while (*p) {
            char name[40] = {};
            std::size_t n = 0;
            while (p[n] && p[n] != ',' && p[n] != '@') {
                if (n + 1 >= sizeof name) {
                    return env_error("MOLA_SIM_FAULTS", faults);
                }
                name[n] = p[n];
                ++n;
            }
            int card = -1;
            const char* next = p + n;
            if (*next == '@') {
                long k = 0;
                if (!parse_int(next + 1, &k) || k < 0 || k >= SIM_MAX_CARDS) {
                    return env_error("MOLA_SIM_FAULTS", faults);
                }
                card = static_cast<int>(k);
                ++next;
                while (*next && *next != ',') {
                    ++next;
                }
            }
            const std::uint32_t driver_bit = sim_driver_fault_by_name(name);
            const std::uint32_t card_bit = sim_card_fault_by_name(name);
            if (driver_bit == 0 && card_bit == 0) {
                return env_error("MOLA_SIM_FAULTS", faults);
            }
            for (int k = 0; k < SIM_MAX_CARDS; ++k) {
                if (card < 0 || card == k) {
                    c.cards[k].driver_faults |= driver_bit;
                    c.cards[k].card_faults |= card_bit;
                }
            }
            if (card < 0) {
                c.driver_faults |= driver_bit;
            }
            p = *next == ',' ? next + 1 : next;
        }
    }
    sim_configure(c);
    return 1;
}

void sim_attach_target(int card, const SimTarget& target)
{
    if (card >= 0 && card < SIM_MAX_CARDS) {
        SimTargets[card] = target;
    }
}

void sim_set_mapped(int card, bool mapped)
{
    if (card >= 0 && card < SIM_MAX_CARDS) {
        Mapped[card] = mapped;
    }
}

void sim_map_directly(int card)
{
    sim_set_mapped(card, true);
    RegisterPointer = static_cast<RegAddr>(sim_register_address(card)) + REGISTER_POINTER_OFFSET;
}

bool sim_is_mapped(int card)
{
    return card >= 0 && card < SIM_MAX_CARDS && Mapped[card];
}

std::uint32_t sim_register_address(int card)
{
    return SIM_REGISTER_BASE + static_cast<std::uint32_t>(card) * SIM_BLOCK_STRIDE;
}

std::uint32_t sim_driver_fault_by_name(const char* name)
{
    for (const FaultName& f : DRIVER_FAULTS) {
        if (std::strcmp(f.name, name) == 0) {
            return f.bit;
        }
    }
    return 0;
}

// ---- the OS seam ----

std::uint32_t os_get_version()
{
    ensure_configured();
    log_call(SimCallKind::GetVersion);
    return TheSimConfig.family == DriverFamily::Win9x ? VERSION_9X : VERSION_NT;
}

OsHandle os_create_file(const char* path, std::uint32_t access, std::uint32_t share_mode,
                        std::uint32_t creation, std::uint32_t flags)
{
    ensure_configured();
    SimCall* c = log_call(SimCallKind::CreateFile);
    if (c) {
        std::snprintf(c->path, sizeof c->path, "%s", path);
        c->access = access;
        c->share_mode = share_mode;
        c->creation = creation;
        c->flags = flags;
    }
    OsHandle h = OS_INVALID_HANDLE;
    if (TheSimConfig.driver_present) {
        if (TheSimConfig.family == DriverFamily::Win9x) {
            if (std::strcmp(path, "\\\\.\\mola.vxd") == 0 &&
                !(faults_of(-1) & SIM_FAULT_DEVICE_MISSING) && !handle_open(VXD_HANDLE)) {
                h = open_handle(VXD_HANDLE);
            }
        } else {
            const int card = nt_card_of_path(path);
            // The device is opened without sharing: a second open fails as on a real driver.
            if (card >= 0 && !(faults_of(card) & SIM_FAULT_DEVICE_MISSING) &&
                !handle_open(NT_HANDLE_BASE + card)) {
                h = open_handle(NT_HANDLE_BASE + card);
            }
        }
    }
    if (c) {
        c->handle = h;
    }
    return h;
}

int os_device_io_control(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size,
                         void* out, std::uint32_t out_size)
{
    ensure_configured();
    SimCall* c = log_call(SimCallKind::DeviceIoControl);
    if (c) {
        c->handle = handle;
        c->code = code;
        c->in_size = in_size;
        c->out_size = out_size;
        c->in_present = in != nullptr;
        c->out_present = out != nullptr;
        if (in) {
            std::memcpy(c->in, in, in_size < sizeof c->in ? in_size : sizeof c->in);
        }
    }
    int result = 0;
    if (handle_open(handle)) {
        if (handle == VXD_HANDLE) {
            result = vxd_request(code, in, in_size, out, out_size);
        } else {
            result = nt_request(static_cast<int>(handle - NT_HANDLE_BASE), code, in, in_size, out, out_size);
        }
    }
    if (c) {
        c->result = result;
    }
    return result;
}

int os_close_handle(OsHandle handle)
{
    ensure_configured();
    SimCall* c = log_call(SimCallKind::CloseHandle);
    int result = 0;
    for (OsHandle& slot : OpenHandles) {
        if (slot != 0 && slot == handle) {
            slot = 0;
            --TheSimCallLog.open_handles;
            result = 1;
            break;
        }
    }
    if (c) {
        c->handle = handle;
        c->result = result;
    }
    return result;
}

void os_sleep(std::uint32_t milliseconds)
{
    ensure_configured();
    TheSimClock.slept_ms += milliseconds;
    ++TheSimClock.sleeps;
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        const SimTarget& t = SimTargets[k];
        bool seen = false;
        for (int j = 0; j < k; ++j) {
            seen = seen || SimTargets[j].context == t.context;
        }
        if (t.sleep && !seen) {
            t.sleep(t.context, milliseconds);
        }
    }
    if (TheSimClock.real_sleep) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}
