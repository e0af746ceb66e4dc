// Fuzz target: walks any input with the developer tool's stream walker and plays it with the
// checks of checked_play.h, and requires the same verdict (walk_verdict.h). The log level is
// at least 0, since the player's failing command number comes from its log.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/checked_play.h"
#include "fuzz/walk_verdict.h"

constexpr std::size_t FUZZ_MAX_INPUT = 16384; // as fuzz_play's

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > FUZZ_MAX_INPUT) {
        return -1;
    }
    const std::span<const std::uint8_t> stream(data, size);
    PlayOptions options = play_options_for(size);
    if (options.log_level < 0) {
        options.log_level = 0;
    }
    const PlayReport report = checked_play(stream, options);
    std::string finding = report.finding;
    if (finding.empty()) {
        finding = walk_verdict_finding(stream, report, xsvf_walk_all(stream));
    }
    if (!finding.empty()) {
        std::fprintf(stderr, "finding: %s\n", finding.c_str());
        std::abort();
    }
    return 0;
}
