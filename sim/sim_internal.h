// State and helpers shared by the files of the simulated platform.
#pragma once

#include <cstdint>

#include "platform/os.h"
#include "sim/sim_card.h"
#include "sim/sim_platform.h"

extern SimTarget SimTargets[SIM_MAX_CARDS];
extern SimCard SimCards[SIM_MAX_CARDS];

// Whether card k is the first card attached to its target. A call that each target must hear
// once (a sleep, a collect) goes only to such cards' targets, even when cards share a target.
bool sim_first_card_of_target(int k);

// Configures the platform from the environment unless it is configured already.
void sim_ensure_configured();

// ---- the driver models (sim_driver.cpp) ----
// Handles that the simulated driver hands out: one per NT card device, one for the 9x device.
constexpr OsHandle SIM_NT_HANDLE_BASE = 0x100; // card k: 0x100 + k
constexpr OsHandle SIM_VXD_HANDLE = 0x200;
// Forgets every open handle (a start of the platform).
void sim_driver_reset();
// Opens the device that a CreateFileA of `path` opens. OS_INVALID_HANDLE when there is none (no
// driver, no such path, the device-missing fault) or it is open already (the devices are not
// shared).
OsHandle sim_driver_open(const char* path);
// Closes a handle; false when it was not open.
bool sim_driver_close(OsHandle handle);
// One request to a device; 0 when the handle is not open.
int sim_driver_request(OsHandle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size);
