// Streams on which the stream walker and the player must agree: the player tests' streams,
// hand-made structural failures, and seeded random streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/xsvf/xsvf_fixture.h"

struct NamedStream {
    std::string name;
    Bytes bytes;
};

// The streams of the player, stream-end, allocation and walker tests.
std::vector<NamedStream> agreement_test_streams();

// XSTATE to every interesting code after each way a command can leave the TAP, XENDIR and
// XENDDR operands, data-register lengths about the limit, and unsupported opcodes.
std::vector<NamedStream> agreement_structural_streams();

// `count` random streams of mostly well-formed commands, some cut, some with bytes after
// XCOMPLETE; the same for the same seed.
std::vector<NamedStream> agreement_random_streams(std::uint32_t seed, int count);
