// The stream walker of the xsvf tool and the player agree on every stream: both reach
// XCOMPLETE, or both stop at the same command with the same result and after the same
// bytes. A TDO mismatch is the card's verdict, not the stream's: where the player meets one
// at command N, the walker must find the stream sound through command N.
#include <cstdio>
#include <map>
#include <memory>
#include <span>

#include "devtools/xsvf/stream_walk.h"
#include "sim/sim_card.h"
#include "tests/devtools/walk_agreement_streams.h"
#include "xsvf/update.h"

namespace {

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
    const std::vector<NamedStream> tests = agreement_test_streams();
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

TEST_F(WalkAgreementTest, HandMadeStructuralFailures)
{
    int failures = 0;
    for (const NamedStream& s : agreement_structural_streams()) {
        const Played p = play_recorded(s.bytes);
        failures += p.result != ErrNone ? 1 : 0;
        expect_agreement(s.name, s.bytes, p);
    }
    EXPECT_GT(failures, streams / 3); // most of them fail, and not all alike
    EXPECT_LT(failures, streams);
    std::printf("walker and player agree on %d streams (%d ended in a TDO mismatch)\n", streams, mismatches);
}

TEST_F(WalkAgreementTest, SeededRandomStreams)
{
    for (const NamedStream& s : agreement_random_streams(12, 3000)) {
        agree_recorded(s);
    }
    EXPECT_LT(mismatches, streams / 4); // most verdicts are the stream's own
    for (std::int32_t r : {ErrNone, ErrUnsupportedCommand, ErrIllegalState, ErrDataOverflow, ErrStreamEnded}) {
        EXPECT_GT(results[r], streams / 100) << "result " << r;
    }
    std::printf("walker and player agree on %d streams (%d ended in a TDO mismatch)\n", streams, mismatches);
    for (const auto& [result, count] : results) {
        std::printf("  result %d: %d streams\n", static_cast<int>(result), count);
    }
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
        // The start of the program at every length, against the recorder: the identity
        // check fails there, so the later cuts end in a mismatch.
        SetUp();
        for (std::uint32_t n = 0; n < 200; ++n) {
            expect_agreement("program start cut to " + std::to_string(n), whole.first(n),
                             play_recorded(Bytes(p.bytes, p.bytes + n)));
        }
    }
    std::printf("walker and player agree on %d streams (%d ended in a TDO mismatch)\n", streams, mismatches);
}

} // namespace
