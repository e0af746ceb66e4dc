// State and helpers shared by the files of the simulated platform.
#pragma once

#include <cstdint>

#include "platform/os.h"
#include "sim/sim_card.h"
#include "sim/sim_platform.h"

extern SimTarget SimTargets[SIM_MAX_CARDS];
extern SimCard SimCards[SIM_MAX_CARDS];
extern std::uint8_t SimCardStructures[SIM_MAX_CARDS][SIM_STRUCTURE_SIZE];

// Whether card k is the first card attached to its target. A call that each target must hear
// once (a sleep, a collect) goes only to such cards' targets, even when cards share a target.
bool sim_first_card_of_target(int k);

// Configures the platform from the environment unless it is configured already.
void sim_ensure_configured();

// ---- the driver models (sim_driver.cpp) ----
// Handles that the simulated driver hands out: one per NT card device, one for the 9x device.
constexpr OsHandle SIM_NT_HANDLE_BASE = 0x100; // card k: 0x100 + k
constexpr OsHandle SIM_VXD_HANDLE = 0x200;
// The driver's device that a CreateFileA of `path` opens, or OS_INVALID_HANDLE when there is
// none (no driver, no such path, the device-missing fault).
OsHandle sim_driver_device(const char* path);
// One request to an open device.
int sim_driver_request(OsHandle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size);

// ---- open handles (sim_handles.cpp) ----
void sim_handles_reset();
bool sim_handle_is_open(OsHandle handle);
// Opens a handle; OS_INVALID_HANDLE when it is open already (the devices are not shared) or
// the table is full.
OsHandle sim_handle_open(OsHandle handle);
// Closes a handle; false when it was not open.
bool sim_handle_close(OsHandle handle);
