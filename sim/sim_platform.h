// The simulated platform: the card driver of either family with its cards, the register
// blocks it "maps" and the clock. It implements the OS seam (platform/os.h) and the
// register seam (platform/regs.h) for builds and tests that run with no card.
//
// Addresses handed out are tokens below 4 GiB, never real pointers:
//   register block of card k   SIM_REGISTER_BASE + k * SIM_BLOCK_STRIDE (SIM_BLOCK_SIZE bytes)
//   9x card structure of card k SIM_STRUCTURE_BASE + k * SIM_BLOCK_STRIDE
// The register seam resolves them; any other address is a stray access, answered with all
// ones.
//
// Configuration comes from sim_configure (tests) or, on first use, from the MOLA_SIM_*
// environment variables (MolaFlashSim.exe; sim/sim_config.h): a malformed value ends the
// process with a message on standard error and exit code SIM_EXIT_BAD_CONFIGURATION.
#pragma once

#include <cstdint>

#include "card/driver.h"
#include "card/port_registers.h"
#include "sim/sim_config.h"
#include "sim/sim_target.h"

constexpr std::uint32_t SIM_REGISTER_BASE = 0x40000000u;
constexpr std::uint32_t SIM_STRUCTURE_BASE = 0x20000000u;
constexpr std::uint32_t SIM_BLOCK_STRIDE = 0x00010000u;
constexpr std::uint32_t SIM_BLOCK_SIZE = 0x1000u;
static_assert(SIM_BLOCK_SIZE >= PORT_BLOCK_USED, "a simulated block holds every word the port uses");
constexpr std::uint32_t SIM_STRUCTURE_SIZE = 2048;

// One call of the OS seam, as the simulated side saw it.
enum class SimCallKind : std::uint8_t {
    GetVersion, CreateFile, DeviceIoControl, CloseHandle,
    SetExecutionState, BlockShutdown, UnblockShutdown,
};

struct SimCall {
    SimCallKind kind;
    char path[160];            // CreateFile; BlockShutdown: the reason (its characters below 128)
    std::uint32_t access;      // CreateFile
    std::uint32_t share_mode;  // CreateFile
    std::uint32_t creation;    // CreateFile
    std::uint32_t flags;       // CreateFile
    std::intptr_t handle;      // CreateFile result, or the handle used; the window of BlockShutdown
                               // and UnblockShutdown
    std::uint32_t code;        // DeviceIoControl; the flags of SetExecutionState
    std::uint8_t in[16];       // DeviceIoControl: first bytes of the input
    std::uint32_t in_size;
    std::uint32_t out_size;
    bool in_present;
    bool out_present;
    int result;                // DeviceIoControl / CloseHandle result
};

constexpr int SIM_CALL_LOG_SIZE = 256;

struct SimCallLog {
    SimCall calls[SIM_CALL_LOG_SIZE];
    int count = 0;      // calls recorded (at most SIM_CALL_LOG_SIZE; later calls are not)
    int open_handles = 0;
};

extern SimConfig TheSimConfig;
extern SimCallLog TheSimCallLog;

// Sets the platform up afresh: configuration, cards powered on, mappings gone, log and
// clock cleared, every card's target its simulated card.
void sim_configure(const SimConfig& config);
constexpr int SIM_EXIT_BAD_CONFIGURATION = 64;

// Replaces what sits behind card k's register block (tests, tools).
void sim_attach_target(int card, const SimTarget& target);
// What sits behind card k's register block now: after sim_configure, the simulated card
// (tools put a recorder or a tracer in front of it).
SimTarget sim_attached_target(int card);
// Marks card k's register block mapped or not, as the driver's map and unmap requests do.
void sim_set_mapped(int card, bool mapped);
bool sim_is_mapped(int card);
// Maps card k's block and points RegisterPointer at it, as a probe with mapping would, but
// without any driver request (tests and tools that drive the port directly).
void sim_map_directly(int card);
std::uint32_t sim_register_address(int card);
