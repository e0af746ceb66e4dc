#include "tests/devtools/walk_agreement_streams.h"

#include <bit>
#include <random>

namespace {

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& p : parts) {
        b.insert(b.end(), p.begin(), p.end());
    }
    return b;
}

} // namespace

std::vector<NamedStream> agreement_test_streams()
{
    Bytes v255(32);
    for (std::size_t i = 0; i < v255.size(); ++i) {
        v255[i] = std::uint8_t(i * 37 + 11);
    }
    std::vector<NamedStream> s = {
        {"XCOMPLETE", {0}},
        {"XCOMPLETE and a byte", {0, 5}},
        {"Reserved5", {5}},
        {"Reserved6", {6, 0}},
        {"opcode 200", {200}},
        {"XENDDR 2", program({xrepeat(0), xstate(1), xenddr(2)})},
        {"XSTATE Pause-DR first", program({xstate(TAP_PAUSEDR)})},
        {"end states", program({xruntest(0x00000102), xendir(1), xenddr(0)})},
        {"56000 bits", program({xsdrsize(56000), xtdomask(Bytes(7000, 0xFF))})},
        {"pause end states", program({xendir(1), xenddr(1), xsdrsize(8), xsir(16, {0x56, 0x12}), xsdr({0x34})})},
        {"XSIR 255", program({xsir(255, v255)})},
        {"XSIR 0 with a wait", program({xruntest(50), xsir(0, {})})},
        {"negative waits", program({xruntest(0x80000000u), xsir(8, {0x12}), xruntest(0xFFFFFFFFu), xsir(0, {})})},
        {"begin, continue, end", program({xsdrsize(8), xsdrb({0x01}), xsdrc({0x02}), xsdre({0x03})})},
        {"XSDRTDOB with retries", program({xrepeat(3), xruntest(1000), xsdrsize(8), xtdomask({0}), xsdrtdob({0}, {0})})},
        {"XSDRINC", program({xsdrsize(16), xsetsdrmasks({0x00, 0x01}, {0x00, 0xF0}), xsdrinc({0x00, 0x0F}, 2, {0x0A, 0x05})})},
        {"XSDRINC with longer masks",
         program({xsdrsize(32), xsetsdrmasks({0, 0, 0, 1}, {0x0F, 0, 0, 0}), xsdrsize(8), xsdrinc({0x10}, 1, {0x05})})},
        {"XSDRINC of no repeats", program({xsdrsize(8), xsdrinc({0x00}, 0, {})})},
        {"XSDRINC after a mismatch", program({xsdrsize(8), xsdrtdo({0x00}, {0xFF}), xsdrinc({0x00}, 3, {})})},
        {"first run of two", program({xrepeat(3), xruntest(1000), xenddr(1), xsdrsize(8), xtdomask({0x00}),
                                      xsdrtdo({0x00}, {0x00})})},
        {"second run of two", program({xsdrtdo({}, {}), xsdr({}), xsdrsize(8), xsdrtdo({0x00}, {0xFF})})},
        {"every log level", program({xrepeat(0), xruntest(0), xsir(8, {0x12}), xsdrsize(8), xtdomask({0xFF}),
                                     xsdrtdo({0x00}, {0x01})})},
        {"no allocation", program({xrepeat(2), xruntest(5), xsdrsize(4224), xtdomask(Bytes(528, 0xFF)),
                                   xsdrtdo(Bytes(528, 0x5A), Bytes(528, 0x00)), xsir(8, {0x12}),
                                   xsetsdrmasks(Bytes(528, 0x01), Bytes(528, 0x10)),
                                   xsdrinc(Bytes(528, 0), 3, Bytes(3 * 66, 0xA5))})},
        {"every command", every_command_program()},
        {"every command and more", join({every_command_program(), {11, 0xFF, 0xFF, 5}})},
        {"empty", {}},
        {"bare XSDRINC of 56000 bits", {8, 0, 0, 0xDA, 0xC0, 11}},
        {"XSDRINC short of blocks", unterminated({xsdrsize(8), xsetsdrmasks({0}, {0xFF}), xsdrinc({0}, 200, {1})})},
        {"XSIR cut", {2, 255, 1, 2}},
        {"XENDDR cut", {7, 0, 20}},
        {"walker layouts", {7, 0, 8, 0, 0, 0, 12, 1, 0x0F, 0xFF, 9, 1, 2, 3, 4, 2, 9, 0xAB, 0xCD, 4, 0, 0, 1, 2, 10, 0, 1,
                            0, 0x0F, 11, 0, 0, 2, 5, 6, 12, 1, 1, 13, 2, 2, 14, 3, 3, 15, 1, 1, 1, 1, 18, 1, 19, 1, 20,
                            0, 0}},
        {"XSDR of 56000 bits", join({{8, 0, 0, 0xDA, 0xC0, 3}, Bytes(7000, 0x55), {0}})},
        {"tool's small stream", {7, 0, 4, 0, 0, 7, 0xd0, 8, 0, 0, 0, 8, 1, 0xff, 9, 0xa5, 0x5a, 2, 8, 0x12, 0}},
    };
    for (std::uint32_t bits : {56001u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFFu}) {
        s.push_back({"XSDRSIZE " + std::to_string(bits), program({xsdrsize(bits), xtdomask({})})});
    }
    return s;
}

std::vector<NamedStream> agreement_structural_streams()
{
    // Ways to leave the TAP before an XSTATE, by the state they leave it in.
    const std::vector<NamedStream> before = {
        {"reset", {}},
        {"Run-Test/Idle", xstate(1)},
        {"Shift-DR after XSDRB", join({xsdrsize(8), xsdrb({1})})},
        {"Shift-DR after XSDRTDOC", join({xsdrsize(8), xsdrtdoc({1}, {0})})},
        {"no move: XSDRB of no bits", join({xstate(1), xsdrb({})})},
        {"Pause-IR after XSIR", join({xendir(1), xsir(3, {1})})},
        {"Run-Test/Idle after XSIR and a wait", join({xendir(1), xruntest(2), xsir(3, {1})})},
        {"Pause-DR after XSDR", join({xenddr(1), xsdrsize(4), xsdr({1})})},
        {"Pause-DR after XSDRE, which does not wait", join({xenddr(1), xruntest(2), xsdrsize(4), xsdre({1})})},
        {"Run-Test/Idle after XSDRTDO and a wait", join({xenddr(1), xruntest(2), xsdrsize(4), xsdrtdo({1}, {0})})},
        {"Pause-DR after XSDRINC", join({xenddr(1), xsdrsize(8), xsetsdrmasks({0}, {1}), xsdrinc({0}, 1, {1})})},
        {"Run-Test/Idle after XSIR of no bits and a wait", join({xsdrsize(8), xsdrb({1}), xruntest(2), xsir(0, {})})},
        {"Shift-DR after XSIR of no bits", join({xsdrsize(8), xsdrb({1}), xsir(0, {})})},
        {"Shift-IR code", xstate(TAP_SHIFTIR)},
        {"code 0x06", xstate(0x06)},
        {"code 0x16", join({xsdrsize(8), xsdrb({1}), xstate(0x16)})},
    };
    const std::uint8_t targets[] = {0x00, 0x01, 0x02, 0x04, 0x06, 0x10, 0x12, 0x14, 0x16, 0x20,
                                    0x22, 0x24, 0x26, 0x32, 0x36, 0x80, 0xFF};
    std::vector<NamedStream> s;
    for (const NamedStream& b : before) {
        for (std::uint8_t t : targets) {
            s.push_back({b.name + ", XSTATE " + std::to_string(t), join({b.bytes, xstate(t), xcomplete()})});
            // A second move from where the first one left the record.
            s.push_back({b.name + ", XSTATE " + std::to_string(t) + ", XSTATE 0x12",
                         join({b.bytes, xstate(t), xstate(TAP_PAUSEDR), xcomplete()})});
        }
    }
    for (std::uint8_t operand = 0; operand < 4; ++operand) {
        s.push_back({"XENDIR " + std::to_string(operand), program({xstate(1), xendir(operand)})});
        s.push_back({"XENDDR " + std::to_string(operand), program({xstate(1), xenddr(operand)})});
    }
    for (std::uint32_t bits : {0u, 1u, 55993u, 56000u, 56001u, 56008u, 0xFFFFFFF8u}) {
        s.push_back({"XSDRSIZE " + std::to_string(bits) + " alone", program({xsdrsize(bits)})});
    }
    for (const std::uint8_t op : Bytes{5, 6, 21, 22, 128, 254, 255}) {
        s.push_back({"opcode " + std::to_string(op) + " after commands", join({xrepeat(0), xstate(1), {op}, {0}})});
    }
    return s;
}

std::vector<NamedStream> agreement_random_streams(std::uint32_t seed, int count)
{
    std::mt19937 rng(seed);
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    auto random_bytes = [&](std::uint32_t n, bool zeros) {
        Bytes b(n);
        for (auto& x : b) {
            x = zeros ? 0 : static_cast<std::uint8_t>(rng());
        }
        return b;
    };
    const std::uint32_t lengths[] = {0, 1, 3, 7, 8, 9, 16, 24, 33, 64};
    const std::uint8_t states[] = {0x00, 0x01, 0x12, 0x14, 0x22, 0x24, 0x02, 0x06, 0xFF};
    std::vector<NamedStream> s;
    for (int i = 0; i < count; ++i) {
        Bytes b;
        std::uint32_t bytes = 0; // the generator's idea of the data-register length
        std::uint32_t ones = 0;  // and of the data mask's 1 bits
        const std::uint32_t commands = 1 + pick(12);
        for (std::uint32_t c = 0; c < commands; ++c) {
            // Now and then a vector of the wrong length, to put the stream out of step.
            const std::uint32_t n = pick(20) == 0 ? bytes + 1 : bytes;
            switch (pick(24)) {
            case 0: b.push_back(static_cast<std::uint8_t>(rng())); break; // any opcode
            case 1: b = join({b, xtdomask(random_bytes(n, pick(2) == 0))}); break;
            case 2: {
                const std::uint32_t l = pick(40);
                b = join({b, xsir(static_cast<std::uint8_t>(l), random_bytes((l + 7) / 8, false))});
                break;
            }
            case 3: b = join({b, xsdr(random_bytes(n, false))}); break;
            case 4: b = join({b, xruntest(pick(4) == 0 ? pick(3) : 0)}); break;
            case 5: b = join({b, xrepeat(static_cast<std::uint8_t>(pick(3)))}); break;
            case 6:
            case 7: {
                const std::uint32_t bits = pick(10) == 0 ? 56001 + pick(9) : lengths[pick(10)];
                b = join({b, xsdrsize(bits)});
                bytes = bits > 56000 ? bytes : (bits + 7) / 8;
                break;
            }
            case 8: b = join({b, xsdrtdo(random_bytes(n, false), random_bytes(n, pick(8) != 0))}); break;
            case 9: {
                const Bytes mask = random_bytes(n, false);
                ones = 0;
                for (std::uint8_t x : mask) {
                    ones += static_cast<std::uint32_t>(std::popcount(x));
                }
                b = join({b, xsetsdrmasks(random_bytes(n, false), mask)});
                break;
            }
            case 10: {
                const std::uint8_t k = static_cast<std::uint8_t>(pick(4));
                b = join({b, xsdrinc(random_bytes(n, false), k, random_bytes(k * ((ones + 7) / 8), false))});
                break;
            }
            case 11: b = join({b, xsdrb(random_bytes(n, false))}); break;
            case 12: b = join({b, xsdrc(random_bytes(n, false))}); break;
            case 13: b = join({b, xsdre(random_bytes(n, false))}); break;
            case 14: b = join({b, xsdrtdob(random_bytes(n, false), random_bytes(n, pick(8) != 0))}); break;
            case 15: b = join({b, xsdrtdoc(random_bytes(n, false), random_bytes(n, pick(8) != 0))}); break;
            case 16: b = join({b, xsdrtdoe(random_bytes(n, false), random_bytes(n, pick(8) != 0))}); break;
            case 17:
            case 18: b = join({b, xstate(states[pick(9)])}); break;
            case 19: b = join({b, xendir(static_cast<std::uint8_t>(pick(9) == 0 ? 2 : pick(2)))}); break;
            case 20: b = join({b, xenddr(static_cast<std::uint8_t>(pick(9) == 0 ? 2 : pick(2)))}); break;
            default: b = join({b, xstate(1)}); break;
            }
        }
        if (pick(4) != 0) {
            b.push_back(XCOMPLETE);
            if (pick(4) == 0) {
                b = join({b, random_bytes(1 + pick(4), false)});
            }
        }
        if (pick(3) == 0 && !b.empty()) {
            b.resize(pick(static_cast<std::uint32_t>(b.size())));
        }
        s.push_back({"random " + std::to_string(i), b});
    }
    return s;
}
