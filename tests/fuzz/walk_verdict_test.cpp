// The walker's verdict against the player's: what agrees and what is a finding.
#include <gtest/gtest.h>

#include "fuzz/walk_verdict.h"
#include "tests/xsvf/xsvf_fixture.h"

namespace {

PlayReport played(std::int32_t result, long command, std::uint32_t bytes, bool abandoned = false)
{
    PlayReport p;
    p.result = result;
    p.failed_command = command;
    p.bytes_read = bytes;
    p.abandoned = abandoned;
    return p;
}

TEST(WalkVerdict, AgreementAndEachKindOfDisagreement)
{
    // XSDRSIZE 8 (5 bytes), XSTATE 1 (2), XSDR (2), XSDRINC with one repeat (3), XCOMPLETE.
    const Bytes s = program({xsdrsize(8), xstate(1), xsdr({0xA5}), xsdrinc({1}, 1, {})});
    const WalkedStream walked = xsvf_walk_all(s);
    ASSERT_TRUE(walked.result.ok) << walked.result.error;
    ASSERT_EQ(walked.commands.size(), 5u);

    struct Case {
        const char* what;
        PlayReport p;
        const char* finding; // start of the expected finding, "" for none
    };
    const Case cases[] = {
        {"the same success", played(ErrNone, -1, 13), ""},
        {"a success after fewer bytes", played(ErrNone, -1, 12), "walk: different verdicts"},
        {"a failure where the walker succeeds", played(ErrIllegalState, 2, 7), "walk: different verdicts"},
        {"a mismatch in XSDR, stopped after its vector", played(ErrTdoMismatch, 3, 9), ""},
        {"a mismatch in XSDRINC, stopped before its count", played(ErrTdoMismatchRetries, 4, 11), ""},
        {"a mismatch in XSTATE", played(ErrTdoMismatch, 2, 7), "walk: a TDO mismatch in XSTATE"},
        {"a mismatch, stopped beyond its command", played(ErrTdoMismatch, 3, 10),
         "walk: the player stopped outside the command that mismatched"},
        {"a mismatch of unknown number (silenced log)", played(ErrTdoMismatch, -1, 9), ""},
        {"an abandoned run within the walk", played(ErrNone, -1, 9, true), ""},
    };
    for (const Case& c : cases) {
        const std::string f = walk_verdict_finding(s, c.p, walked);
        EXPECT_EQ(f.substr(0, std::string(c.finding).size()), c.finding) << c.what << ": " << f;
        EXPECT_EQ(f.empty(), *c.finding == '\0') << c.what << ": " << f;
    }

    // Where the walker stops early: an XENDDR operand of 2 at command 2.
    const Bytes bad = program({xsdrsize(8), xenddr(2), xsdr({0xA5})});
    const WalkedStream w = xsvf_walk_all(bad);
    ASSERT_EQ(w.result.result, ErrIllegalState);
    EXPECT_EQ(walk_verdict_finding(bad, played(ErrIllegalState, 2, 7), w), "");
    EXPECT_EQ(walk_verdict_finding(bad, played(ErrIllegalState, 3, 7), w).substr(0, 23), "walk: different verdict");
    EXPECT_EQ(walk_verdict_finding(bad, played(ErrTdoMismatch, 3, 9), w).substr(0, 49),
              "walk: the player compared at a command the walker");
    EXPECT_EQ(walk_verdict_finding(bad, played(ErrNone, -1, 8, true), w).substr(0, 48),
              "walk: the player read beyond where the walker st");
}

TEST(WalkVerdict, CheckedPlaysOfRealStreamsAgreeWithTheWalk)
{
    const Bytes whole = every_command_program();
    int mismatches = 0;
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const Bytes s(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        for (const char* tdo : {"0", "1"}) {
            PlayOptions o;
            o.tdo = tdo;
            const PlayReport r = checked_play(s, o);
            ASSERT_EQ(r.finding, "") << n;
            mismatches += r.result == ErrTdoMismatch || r.result == ErrTdoMismatchRetries ? 1 : 0;
            EXPECT_EQ(walk_verdict_finding(s, r, xsvf_walk_all(s)), "") << n << " bytes, TDO " << tdo;
        }
    }
    EXPECT_GT(mismatches, 0);
}

} // namespace
