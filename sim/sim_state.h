// The simulated cards' non-volatile state kept in a file (MOLA_SIM_STATE, xsvf --state), so
// that a card keeps its logic from one start of the simulated platform to the next, as a real
// card keeps it across power cycles, and a process that ends at any instant (the power fails,
// the process is terminated) leaves in the file exactly what the card's memory held.
//
// The file (little-endian), SIM_STATE_HEADER_BYTES and then SIM_STATE_CARD_BYTES per card:
//   magic "MOLASIMSTATE" (12 bytes), u32 layout version, u32 card count (1 to SIM_MAX_CARDS)
//   per card: u32 card model (index of CARD_MODELS), i32 the revision the card came with,
//             u32 done flag (0 or 1), u32 0, then the memory as DEVICE_MEMORY_WORDS u64 words
//             (bit b of the memory is bit b % 64 of word b / 64)
// A file that is shorter or longer than its card count says, or whose magic, version, count,
// models, flags or reserved word differ, is refused as a whole: nothing of it is used.
#pragma once

#include <cstdint>

#include "sim/device_definition.h"
#include "sim/sim_config.h"

inline constexpr char SIM_STATE_MAGIC[12] = {'M', 'O', 'L', 'A', 'S', 'I', 'M', 'S', 'T', 'A', 'T', 'E'};
constexpr std::uint32_t SIM_STATE_VERSION = 1;
constexpr std::uint32_t SIM_STATE_HEADER_BYTES = 20;
constexpr std::uint32_t SIM_STATE_CARD_HEADER_BYTES = 16;
constexpr std::uint32_t SIM_STATE_CARD_BYTES = SIM_STATE_CARD_HEADER_BYTES + DEVICE_MEMORY_WORDS * 8;

// What the file keeps of one card.
struct SimStateCard {
    CardModel model;
    std::int32_t original_revision; // reported while the memory holds what the card came with
    bool done;
    std::uint64_t memory[DEVICE_MEMORY_WORDS];
};

// Opens the state file at path and makes config's cards the file's (count, models, the
// revisions they came with). A missing file is created first from config's cards, each
// holding the configuration it was delivered with, unless create is false. False with a
// message (and config untouched) for a file that cannot be read, written or created, or that
// is damaged or foreign. A state opened before is closed first.
bool sim_state_open(const char* path, bool create, SimConfig* config, SimMessage* message);
// Card k's kept state, or null when no state is open or it keeps no card k.
const SimStateCard* sim_state_card(int k);
// Keeps a change of card k's memory: words [first, first + count) of `memory` and the done
// flag. Written through to the file before it returns: the flag first when it is cleared and
// last when it is set, so that the file never marks as complete a memory it does not hold.
void sim_state_keep(int k, const std::uint64_t* memory, std::uint32_t first, std::uint32_t count, bool done);
// Closes the file (tests; a process that ends closes it too).
void sim_state_close();
