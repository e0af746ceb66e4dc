// Fuzz target: plays any input as a stream against the recording target, with the checks of
// checked_play.h. Inputs above FUZZ_MAX_INPUT bytes are rejected: the longest command
// (XSDRTDO of MAX_LEN bytes twice) and a few around it fit, and bigger inputs only slow the
// mutations down.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/checked_play.h"

constexpr std::size_t FUZZ_MAX_INPUT = 16384;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > FUZZ_MAX_INPUT) {
        return -1;
    }
    const PlayReport report = checked_play({data, size}, play_options_for(size));
    if (!report.finding.empty()) {
        std::fprintf(stderr, "finding: %s\n", report.finding.c_str());
        std::abort();
    }
    return 0;
}
