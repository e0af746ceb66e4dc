// The simulated platform: the card driver of either family with its cards, the register
// blocks it "maps" and the clock. It implements the OS seam (platform/os.h) and the
// register seam (platform/regs.h) for builds and tests that run with no card.
//
// Addresses handed out are tokens below 4 GiB, never real pointers:
//   register block of card k   SIM_REGISTER_BASE + k * SIM_BLOCK_STRIDE (SIM_BLOCK_SIZE bytes)
//   9x card structure of card k SIM_STRUCTURE_BASE + k * SIM_BLOCK_STRIDE
// The register seam resolves them; any other address is a stray access, counted and
// answered with all ones.
//
// Configuration comes from sim_configure (tests) or, on first use, from the environment
// (sim_configure_from_env, used by MolaFlashSim.exe):
//   MOLA_SIM_CARDS   comma list of MODEL:REVISION, MODEL pci or cardbus (default "pci:9,cardbus:10")
//   MOLA_SIM_DRIVER  nt, 9x or none (default nt; none: the driver is not installed)
//   MOLA_SIM_COUNT   card count the driver reports, overriding the number of cards
//   MOLA_SIM_CLOCK   real or virtual (default real)
//   MOLA_SIM_FAULTS  comma list of NAME or NAME@K (K: card index; without it every card):
//                    driver faults (see sim_driver_fault_by_name) and card faults
#pragma once

#include <cstdint>

#include "card/driver.h"
#include "sim/sim_target.h"

constexpr int SIM_MAX_CARDS = 8;
constexpr std::uint32_t SIM_REGISTER_BASE = 0x40000000u;
constexpr std::uint32_t SIM_STRUCTURE_BASE = 0x20000000u;
constexpr std::uint32_t SIM_BLOCK_STRIDE = 0x00010000u;
constexpr std::uint32_t SIM_BLOCK_SIZE = 0x1000u; // at least the 272 bytes the port uses
constexpr std::uint32_t SIM_STRUCTURE_SIZE = 2048;

enum class SimCardModel : std::uint8_t { Pci, CardBus };

// Driver faults, one bit each.
enum SimDriverFault : std::uint32_t {
    SIM_FAULT_DEVICE_MISSING = 1u << 0,     // CreateFileA of the device (NT: that card's path) fails
    SIM_FAULT_CARD_INFO_FAILS = 1u << 1,    // CTL_CARD_INFO fails
    SIM_FAULT_WRONG_MAGIC = 1u << 2,        // CardInfo magic 0x3FC4
    SIM_FAULT_SHORT_CARD_INFO = 1u << 3,    // CardInfo reply of 8 bytes only
    SIM_FAULT_MAP_FAILS = 1u << 4,          // CTL_MAP_REGISTER / VXD_MAP_REGISTER fails
    SIM_FAULT_MAP_ADDRESS_ZERO = 1u << 5,   // mapping succeeds with address 0
    SIM_FAULT_UNMAP_FAILS = 1u << 6,        // CTL_UNMAP_REGISTER fails
    SIM_FAULT_VXD_COUNT_FAILS = 1u << 7,    // VXD_GET_CARD_COUNT fails
    SIM_FAULT_VXD_CARD_FAILS = 1u << 8,     // VXD_GET_CARD fails
    SIM_FAULT_VXD_CARD_ADDRESS_ZERO = 1u << 9, // VXD_GET_CARD answers address 0
};

struct SimCardConfig {
    SimCardModel model = SimCardModel::Pci;
    std::int32_t revision = 10;
    std::uint32_t driver_faults = 0; // SimDriverFault bits for this card
    std::uint32_t card_faults = 0;   // faults of the card's logic device (sim_card.h)
};

struct SimConfig {
    bool driver_present = true;
    DriverFamily family = DriverFamily::Nt;
    int card_count = 0;               // cards installed, 0..SIM_MAX_CARDS
    bool override_count = false;      // report reported_count instead of card_count
    std::int32_t reported_count = 0;
    std::uint32_t driver_faults = 0;  // faults that apply to every request
    bool real_sleep = false;
    SimCardConfig cards[SIM_MAX_CARDS];
};

// One call of the OS seam, as the simulated side saw it.
enum class SimCallKind : std::uint8_t { GetVersion, CreateFile, DeviceIoControl, CloseHandle, Sleep };

struct SimCall {
    SimCallKind kind;
    char path[40];             // CreateFile
    std::uint32_t access;      // CreateFile
    std::uint32_t share_mode;  // CreateFile
    std::uint32_t creation;    // CreateFile
    std::uint32_t flags;       // CreateFile
    std::intptr_t handle;      // CreateFile result, or the handle used
    std::uint32_t code;        // DeviceIoControl
    std::uint8_t in[16];       // DeviceIoControl: first bytes of the input
    std::uint32_t in_size;
    std::uint32_t out_size;
    bool in_present;
    bool out_present;
    int result;                // DeviceIoControl / CloseHandle result
    std::uint32_t milliseconds; // Sleep
};

constexpr int SIM_CALL_LOG_SIZE = 256;

struct SimCallLog {
    SimCall calls[SIM_CALL_LOG_SIZE];
    int count = 0;      // calls recorded (at most SIM_CALL_LOG_SIZE)
    int dropped = 0;    // calls beyond the log's room
    int open_handles = 0;
    std::uint64_t stray_accesses = 0; // register accesses outside a mapped block
};

extern SimConfig TheSimConfig;
extern SimCallLog TheSimCallLog;

// Sets the platform up afresh: configuration, cards powered on, mappings gone, log and
// clock cleared, every card's target its simulated card.
void sim_configure(const SimConfig& config);
// A configuration with the given cards, all on the NT family with virtual time.
SimConfig sim_default_config();
// Reads the environment as described above; returns 0 and prints to stderr on a bad value.
int sim_configure_from_env();

// Replaces what sits behind card k's register block (tests, tools).
void sim_attach_target(int card, const SimTarget& target);
// Marks card k's register block mapped or not, as the driver's map and unmap requests do.
void sim_set_mapped(int card, bool mapped);
bool sim_is_mapped(int card);
// Maps card k's block and points RegisterPointer at it, as a probe with mapping would, but
// without any driver request (tests and tools that drive the port directly).
void sim_map_directly(int card);
std::uint32_t sim_register_address(int card);

// Faults by name ("device-missing", "card-info-fails", "wrong-magic", "short-card-info",
// "map-fails", "map-address-zero", "unmap-fails", "vxd-count-fails", "vxd-card-fails",
// "vxd-card-address-zero"); 0 for an unknown name.
std::uint32_t sim_driver_fault_by_name(const char* name);
