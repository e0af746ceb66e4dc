// Test support for the player: a tiny assembler for command streams, a fixture that plays
// them against a recording register target, and a decoder of the recorded accesses into
// clock pulses, TDO samples, delay passes and sleeps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "card/driver.h"
#include "card/port.h"
#include "images/image_source.h"
#include "sim/recording_target.h"
#include "sim/sim_platform.h"
#include "xsvf/commands.h"
#include "xsvf/player.h"

using Bytes = std::vector<std::uint8_t>;

// Command builders: each returns the bytes of one command.
inline Bytes cmd(std::uint8_t op, std::initializer_list<Bytes> parts = {})
{
    Bytes b{op};
    for (const Bytes& p : parts) {
        // Byte by byte: a range insert here trips a false stringop warning of GCC 12 under LTO.
        for (const std::uint8_t x : p) {
            b.push_back(x);
        }
    }
    return b;
}
inline Bytes be32(std::uint32_t v)
{
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
inline Bytes xcomplete() { return cmd(XCOMPLETE); }
inline Bytes xtdomask(const Bytes& m) { return cmd(XTDOMASK, {m}); }
inline Bytes xsir(std::uint8_t bits, const Bytes& v) { return cmd(XSIR, {{bits}, v}); }
inline Bytes xsdr(const Bytes& tdi) { return cmd(XSDR, {tdi}); }
inline Bytes xruntest(std::uint32_t us) { return cmd(XRUNTEST, {be32(us)}); }
inline Bytes xrepeat(std::uint8_t n) { return cmd(XREPEAT, {{n}}); }
inline Bytes xsdrsize(std::uint32_t bits) { return cmd(XSDRSIZE, {be32(bits)}); }
inline Bytes xsdrtdo(const Bytes& tdi, const Bytes& tdo) { return cmd(XSDRTDO, {tdi, tdo}); }
inline Bytes xsetsdrmasks(const Bytes& a, const Bytes& d) { return cmd(XSETSDRMASKS, {a, d}); }
inline Bytes xsdrinc(const Bytes& tdi, std::uint8_t k, const Bytes& blocks) { return cmd(XSDRINC, {tdi, {k}, blocks}); }
inline Bytes xsdrb(const Bytes& tdi) { return cmd(XSDRB, {tdi}); }
inline Bytes xsdrc(const Bytes& tdi) { return cmd(XSDRC, {tdi}); }
inline Bytes xsdre(const Bytes& tdi) { return cmd(XSDRE, {tdi}); }
inline Bytes xsdrtdob(const Bytes& tdi, const Bytes& tdo) { return cmd(XSDRTDOB, {tdi, tdo}); }
inline Bytes xsdrtdoc(const Bytes& tdi, const Bytes& tdo) { return cmd(XSDRTDOC, {tdi, tdo}); }
inline Bytes xsdrtdoe(const Bytes& tdi, const Bytes& tdo) { return cmd(XSDRTDOE, {tdi, tdo}); }
inline Bytes xstate(std::uint8_t s) { return cmd(XSTATE, {{s}}); }
inline Bytes xendir(std::uint8_t s) { return cmd(XENDIR, {{s}}); }
inline Bytes xenddr(std::uint8_t s) { return cmd(XENDDR, {{s}}); }

// A buffer holding the bytes, with every byte beyond its count set to `beyond`, so that a
// read past the count changes the result.
struct Vb : VectorBuffer {
    explicit Vb(const Bytes& bytes, std::uint8_t beyond = 0xEE) : VectorBuffer()
    {
        std::memset(data, beyond, sizeof data);
        count = static_cast<std::int16_t>(bytes.size());
        if (!bytes.empty()) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
    }
    Bytes bytes() const { return Bytes(data, data + count); }
    // Lets a temporary be passed where the operations take a pointer.
    VectorBuffer* operator&() { return this; }
};

// One JTAG event as the card saw it.
struct WireEvent {
    char kind;     // 'P' TCK pulse, 'R' TDO sample, 'D' delay passes, 'S' sleep
    int tms = 0;   // P: TMS and TDI at the rising edge
    int tdi = 0;
    std::uint32_t n = 0; // R: TDO; D: passes; S: milliseconds
};

class XsvfTest : public ::testing::Test {
protected:
    RecordingTarget rec;
    Bytes image;

    void SetUp() override;
    void TearDown() override { LogLevel = 0; }
    // Points the reader at a copy of the bytes, from their start.
    void load(const Bytes& bytes);
    // Plays the loaded stream and returns the captured log.
    std::string play(std::int32_t* result);
    std::vector<WireEvent> wire() const;
    // TMS of every pulse, one character each.
    std::string tms() const;
    // TDI of n pulses from pulse `first`, one character each.
    std::string tdi_bits(std::size_t first, std::size_t n) const;
};

// Builds a stream ending in XCOMPLETE from commands.
inline Bytes program(std::initializer_list<Bytes> commands)
{
    Bytes b;
    for (const Bytes& c : commands) {
        b.insert(b.end(), c.begin(), c.end());
    }
    b.push_back(XCOMPLETE);
    return b;
}
// Every command kind, ending in XCOMPLETE; passes with TDO held at 0.
inline Bytes every_command_program()
{
    return program({xrepeat(1), xruntest(5), xendir(0), xenddr(0), xstate(1), xsir(8, {0x12}), xsdrsize(16),
                    xtdomask({0xFF, 0xFF}), xsdrtdo({0, 0}, {0, 0}), xsdr({0x12, 0x34}),
                    xsetsdrmasks({0, 1}, {0, 0xF0}), xsdrinc({0, 0x0F}, 2, {0x0A, 0x05}), xsdrb({1, 2}),
                    xsdrc({3, 4}), xsdre({5, 6}), xsdrtdob({1, 2}, {0, 0}), xsdrtdoc({3, 4}, {0, 0}),
                    xsdrtdoe({5, 6}, {0, 0})});
}
// The same, without the closing XCOMPLETE.
inline Bytes unterminated(std::initializer_list<Bytes> commands)
{
    Bytes b = program(commands);
    b.pop_back();
    return b;
}
