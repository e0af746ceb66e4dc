// The stream walker of the xsvf tool and the player agree: both reach XCOMPLETE, or both stop
// at the same command with the same result and after the same bytes. Both take the operands'
// layout and the accepted state bytes from the command set; what is left to agree on is the
// walker's account of the record and the TAP. A TDO mismatch is the card's verdict, not the
// stream's: where the player meets one at command N, the walker must find the stream sound
// through command N. (The fuzz target fuzz_walk_play holds them to the same on any bytes.)
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "devtools/xsvf/stream_walk.h"
#include "sim/sim_card.h"
#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/update.h"

namespace {

struct NamedStream {
    std::string name;
    Bytes bytes;
};

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& p : parts) {
        b.insert(b.end(), p.begin(), p.end());
    }
    return b;
}

// The streams of the player, stream-end, allocation and walker tests.
std::vector<NamedStream> test_streams()
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
    // XSTATE to a pause, and to a byte that names no state, after each way a shift can leave the TAP.
    const NamedStream before[] = {
        {"Shift-DR after XSDRB", join({xsdrsize(8), xsdrb({1})})},
        {"Pause-IR after XSIR", join({xendir(1), xsir(3, {1})})},
        {"Run-Test/Idle after XSIR and a wait", join({xendir(1), xruntest(2), xsir(3, {1})})},
        {"Pause-DR after XSDRE, which does not wait", join({xenddr(1), xruntest(2), xsdrsize(4), xsdre({1})})},
        {"Pause-DR after XSDRINC", join({xenddr(1), xsdrsize(8), xsetsdrmasks({0}, {1}), xsdrinc({0}, 1, {1})})},
        {"Shift-DR after XSIR of no bits", join({xsdrsize(8), xsdrb({1}), xsir(0, {})})},
    };
    for (const NamedStream& b : before) {
        for (std::uint8_t target : {TAP_PAUSEDR, TAP_PAUSEIR, std::uint8_t{0x16}}) {
            s.push_back({b.name + ", XSTATE " + std::to_string(target), join({b.bytes, xstate(target), xcomplete()})});
        }
    }
    return s;
}

struct Played {
    std::int32_t result;
    int command; // "ERROR at XSVF command #" of the log; 0 on success
    std::uint32_t bytes_read;
};

Played played(std::int32_t result, const std::string& log)
{
    int command = 0;
    const std::size_t at = log.rfind("ERROR at XSVF command #");
    if (at != std::string::npos) {
        command = std::stoi(log.substr(at + 23));
    }
    return {result, command, ImageReadIndex};
}

class WalkAgreementTest : public XsvfTest {
protected:
    int streams = 0;
    int mismatches = 0;
    std::map<std::int32_t, int> results; // streams by the player's result

    void SetUp() override
    {
        XsvfTest::SetUp();
        rec.store = false;
    }

    // Plays the stream against the recorder with TDO held at 0.
    Played play_recorded(const Bytes& stream)
    {
        load(stream);
        std::int32_t result = -1;
        const std::string log = play(&result);
        return played(result, log);
    }

    // Plays the stream against a simulated card of the given model, as an update does.
    Played play_on_card(std::span<const std::uint8_t> stream, CardModel model)
    {
        SimConfig c = sim_default_config();
        c.card_count = 1;
        c.cards[0].model = model;
        sim_configure(c);
        testing::internal::CaptureStdout();
        const std::int32_t result =
            player_update_card(0, stream.data(), static_cast<std::uint32_t>(stream.size()), nullptr);
        const std::string log = testing::internal::GetCapturedStdout();
        return played(result, log);
    }

    void expect_agreement(const std::string& name, std::span<const std::uint8_t> stream, const Played& p)
    {
        ++streams;
        ++results[p.result];
        const WalkResult w = xsvf_walk(stream, [](const WalkedCommand&) {});
        if (p.result == ErrTdoMismatch || p.result == ErrTdoMismatchRetries) {
            ++mismatches;
            EXPECT_TRUE(w.ok || w.error_command > p.command)
                << name << ": the player compared at command " << p.command << ", the walker stops at "
                << w.error_command << ": " << w.error;
            return;
        }
        EXPECT_EQ(w.result, p.result) << name << ": " << w.error;
        EXPECT_EQ(w.ok, p.result == ErrNone) << name;
        EXPECT_EQ(w.error_command, p.command) << name << ": " << w.error;
        EXPECT_EQ(w.bytes_played, p.bytes_read) << name;
        if (w.ok) {
            EXPECT_EQ(w.bytes_played + w.trailing, stream.size()) << name;
        }
    }

    void agree_recorded(const NamedStream& s) { expect_agreement(s.name, s.bytes, play_recorded(s.bytes)); }
};

TEST_F(WalkAgreementTest, TestStreamsAndEveryTruncationOfAStreamOfEveryCommand)
{
    const std::vector<NamedStream> tests = test_streams();
    for (const NamedStream& s : tests) {
        agree_recorded(s);
    }
    const Bytes full = every_command_program();
    for (std::size_t n = 0; n <= full.size(); ++n) {
        agree_recorded({"every command cut to " + std::to_string(n), Bytes(full.begin(), full.begin() + std::ptrdiff_t(n))});
    }
    EXPECT_EQ(streams, static_cast<int>(tests.size() + full.size() + 1));
    std::printf("walker and player agree on %d streams (%d ended in a TDO mismatch)\n", streams, mismatches);
}

TEST_F(WalkAgreementTest, EmbeddedProgramsWholeAndCut)
{
    struct Program {
        CardModel model;
        const std::uint8_t* bytes;
    };
    for (const Program& p : {Program{CARD_MODEL_PCI, PciImage}, Program{CARD_MODEL_CARDBUS, CardBusImage}}) {
        const std::span<const std::uint8_t> whole(p.bytes, IMAGE_LENGTH);
        const Played complete = play_on_card(whole, p.model);
        EXPECT_EQ(complete.result, ErrNone);
        expect_agreement("whole program", whole, complete);
        // Cut inside the first row's data, inside a long read-back, and before XCOMPLETE.
        for (std::uint32_t n : {20000u, 300000u, IMAGE_LENGTH - 1}) {
            const Played cut = play_on_card(whole.first(n), p.model);
            EXPECT_EQ(cut.result, ErrStreamEnded) << n;
            expect_agreement("program cut to " + std::to_string(n), whole.first(n), cut);
        }
    }
    std::printf("walker and player agree on %d streams (%d ended in a TDO mismatch)\n", streams, mismatches);
}

} // namespace
