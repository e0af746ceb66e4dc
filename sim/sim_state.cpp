// The state file of the simulated cards: read and checked as a whole, created from a
// configuration, and written through at every change of a card's memory.
#include "sim/sim_state.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/sim_message.h"

namespace {

std::FILE* StateFile = nullptr;
int StateCards = 0;
bool WriteFailed = false;
SimStateCard Kept[SIM_MAX_CARDS];

// Little-endian 64-bit words of the file; its 32-bit words are the driver's (card/driver.h).
void put_u64(std::uint8_t* at, std::uint64_t v)
{
    driver_put_le32(at, static_cast<std::uint32_t>(v));
    driver_put_le32(at + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t get_u64(const std::uint8_t* at)
{
    return driver_get_le32(at) | static_cast<std::uint64_t>(driver_get_le32(at + 4)) << 32;
}

long card_offset(int k)
{
    return static_cast<long>(SIM_STATE_HEADER_BYTES + static_cast<std::uint32_t>(k) * SIM_STATE_CARD_BYTES);
}

// Writes bytes at an offset of the file and hands them to the system at once, so that they
// outlive the process however it ends. A change that cannot be kept is said once: the card
// itself goes on, but the file no longer holds what it holds.
void keep_at(long offset, const std::uint8_t* bytes, std::size_t size)
{
    std::FILE* f = StateFile;
    const bool kept = std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, size, f) == size &&
                      std::fflush(f) == 0;
    if (!kept && !WriteFailed) {
        WriteFailed = true;
        std::fprintf(stderr, "simulated platform: the state file could not be written: %s\n", std::strerror(errno));
    }
}

void write_done(int k, bool done)
{
    std::uint8_t flag[4];
    driver_put_le32(flag, done ? 1u : 0u);
    keep_at(card_offset(k) + 8, flag, sizeof flag);
}

// A new file: each configured card holding the configuration it was delivered with.
bool create_file(const char* path, const SimConfig& config, SimMessage* message)
{
    if (config.card_count < 1) {
        say(message, "no state file to create: no card is configured");
        return false;
    }
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        say(message, "cannot create the state file: %s", std::strerror(errno));
        return false;
    }
    std::uint8_t header[SIM_STATE_HEADER_BYTES];
    std::memcpy(header, SIM_STATE_MAGIC, sizeof SIM_STATE_MAGIC);
    driver_put_le32(header + 12, SIM_STATE_VERSION);
    driver_put_le32(header + 16, static_cast<std::uint32_t>(config.card_count));
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    static std::uint8_t card[SIM_STATE_CARD_BYTES];
    for (int k = 0; ok && k < config.card_count; ++k) {
        std::memset(card, 0, SIM_STATE_CARD_HEADER_BYTES);
        driver_put_le32(card, static_cast<std::uint32_t>(config.cards[k].model));
        driver_put_le32(card + 4, static_cast<std::uint32_t>(config.cards[k].revision));
        driver_put_le32(card + 8, 1);
        for (std::uint32_t w = 0; w < DEVICE_MEMORY_WORDS; ++w) {
            put_u64(card + SIM_STATE_CARD_HEADER_BYTES + 8 * w, device_factory_word(w));
        }
        ok = std::fwrite(card, 1, sizeof card, f) == sizeof card;
    }
    if (std::fclose(f) != 0 || !ok) {
        say(message, "cannot write the state file");
        std::remove(path);
        return false;
    }
    return true;
}

// Reads and checks the whole file into `cards`; the count in *count. Nothing is kept of a
// file that fails a check.
bool read_file(std::FILE* f, SimStateCard* cards, int* count, SimMessage* message)
{
    std::uint8_t header[SIM_STATE_HEADER_BYTES];
    if (std::fread(header, 1, sizeof header, f) != sizeof header ||
        std::memcmp(header, SIM_STATE_MAGIC, sizeof SIM_STATE_MAGIC) != 0) {
        say(message, "not a state file of the simulated cards");
        return false;
    }
    const std::uint32_t version = driver_get_le32(header + 12);
    const std::uint32_t n = driver_get_le32(header + 16);
    if (version != SIM_STATE_VERSION) {
        say(message, "state file layout %u, not %u", static_cast<unsigned>(version), static_cast<unsigned>(SIM_STATE_VERSION));
        return false;
    }
    if (n < 1 || n > SIM_MAX_CARDS) {
        say(message, "the state file names %u cards, not 1 to %d", static_cast<unsigned>(n), SIM_MAX_CARDS);
        return false;
    }
    static std::uint8_t card[SIM_STATE_CARD_BYTES];
    for (std::uint32_t k = 0; k < n; ++k) {
        if (std::fread(card, 1, sizeof card, f) != sizeof card) {
            say(message, "the state file ends inside card %u of %u: it is damaged", static_cast<unsigned>(k + 1),
                static_cast<unsigned>(n));
            return false;
        }
        const std::uint32_t model = driver_get_le32(card);
        const std::uint32_t done = driver_get_le32(card + 8);
        if (model >= static_cast<std::uint32_t>(CARD_MODEL_COUNT) || done > 1 || driver_get_le32(card + 12) != 0) {
            say(message, "card %u of the state file is damaged", static_cast<unsigned>(k + 1));
            return false;
        }
        cards[k].model = static_cast<CardModel>(model);
        cards[k].original_revision = static_cast<std::int32_t>(driver_get_le32(card + 4));
        cards[k].done = done != 0;
        for (std::uint32_t w = 0; w < DEVICE_MEMORY_WORDS; ++w) {
            cards[k].memory[w] = get_u64(card + SIM_STATE_CARD_HEADER_BYTES + 8 * w);
        }
    }
    if (std::fgetc(f) != EOF) {
        say(message, "the state file is longer than its %u cards: it is damaged", static_cast<unsigned>(n));
        return false;
    }
    *count = static_cast<int>(n);
    return true;
}

} // namespace

bool sim_state_open(const char* path, bool create, SimConfig* config, SimMessage* message)
{
    sim_state_close();
    std::FILE* f = std::fopen(path, "r+b");
    if (f == nullptr && errno == ENOENT && create) {
        if (!create_file(path, *config, message)) {
            return false;
        }
        f = std::fopen(path, "r+b");
    }
    if (f == nullptr) {
        say(message, "cannot open the state file: %s", std::strerror(errno));
        return false;
    }
    // Closed, Kept is no one's: it is filled straight from the file and used once it checks.
    int count = 0;
    if (!read_file(f, Kept, &count, message)) {
        std::fclose(f);
        return false;
    }
    StateFile = f;
    StateCards = count;
    WriteFailed = false;
    config->card_count = count;
    for (int k = 0; k < count; ++k) {
        config->cards[k].model = Kept[k].model;
        config->cards[k].revision = Kept[k].original_revision;
    }
    return true;
}

const SimStateCard* sim_state_card(int k)
{
    return StateFile != nullptr && k >= 0 && k < StateCards ? &Kept[k] : nullptr;
}

void sim_state_keep(int k, const std::uint64_t* memory, std::uint32_t first, std::uint32_t count, bool done)
{
    if (StateFile == nullptr || k < 0 || k >= StateCards || first > DEVICE_MEMORY_WORDS ||
        count > DEVICE_MEMORY_WORDS - first) {
        return;
    }
    SimStateCard& kept = Kept[k];
    if (!done && kept.done) {
        kept.done = false;
        write_done(k, false);
    }
    if (count > 0) {
        static std::uint8_t bytes[DEVICE_MEMORY_WORDS * 8];
        for (std::uint32_t i = 0; i < count; ++i) {
            kept.memory[first + i] = memory[first + i];
            put_u64(bytes + 8 * i, memory[first + i]);
        }
        keep_at(card_offset(k) + static_cast<long>(SIM_STATE_CARD_HEADER_BYTES + 8 * first), bytes, 8u * count);
    }
    if (done && !kept.done) {
        kept.done = true;
        write_done(k, true);
    }
}

void sim_state_close()
{
    if (StateFile != nullptr) {
        std::fclose(StateFile);
    }
    StateFile = nullptr;
}
