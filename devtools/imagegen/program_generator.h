// Generator of the two embedded XSVF programs. Each program is built from the logic device's
// definition (sim/device_definition.h) and the synthetic configuration of one card model:
//   1. leave any mode, identify the device (IDCODE), enter programming mode, check the
//      status, set the address, check the bypass register, erase the six sectors;
//   2. enter programming mode, identify again, check that the memory is blank, load row 0,
//      set the address, program row 0, select the row buffer;
//   3. load and program rows 1 to 381, the address stepping by itself;
//   4. check the address (all 382 rows stepped), program the done flag, enter verify mode,
//      check the status, fetch the first read;
//   5. and 6. read the whole memory back in 191 compared scans, setting the address of each
//      fetch (and checking the previous one);
//   7. leave verify mode, then XCOMPLETE.
// Deterministic: the same model always yields the same bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim_platform.h"
#include "xsvf/commands.h"

// Appends the complete program of a card model (up to and including XCOMPLETE) to out.
void imagegen_program(CardModel model, std::vector<std::uint8_t>* out);
