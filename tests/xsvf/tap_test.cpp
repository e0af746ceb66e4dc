// TAP navigation: every move between the six states, with its TMS levels and log lines.
#include "sim/logic_device.h"
#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/tap.h"

namespace {

using TapTest = XsvfTest;

struct Move {
    TapState from;
    TapState to;
    const char* tms;   // TMS of each pulse
    const char* steps; // logged states, blank-separated
    std::int32_t result;
};

std::string log_of(const char* steps)
{
    std::string out;
    std::string s = steps;
    for (std::size_t p = 0; p < s.size();) {
        std::size_t e = s.find(' ', p);
        e = e == std::string::npos ? s.size() : e;
        out += "   TAP State = " + s.substr(p, e - p) + "\n";
        p = e + 1;
    }
    return out;
}

TEST_F(TapTest, EveryMoveClocksItsTmsSequenceAndLogsItsSteps)
{
    const TapState all[] = {TAP_RESET, TAP_RUNTEST, TAP_PAUSEDR, TAP_SHIFTDR, TAP_PAUSEIR, TAP_SHIFTIR};
    std::vector<Move> moves;
    for (TapState s : all) {
        moves.push_back({s, TAP_RESET, "11111", "RESET", 0});
        if (s != TAP_RESET) {
            moves.push_back({s, s, "", "", 0});
        }
    }
    const Move table[] = {
        {TAP_RESET, TAP_RUNTEST, "0", "RUNTEST", 0},
        {TAP_RESET, TAP_SHIFTDR, "0100", "RUNTEST SELECTDR CAPTUREDR SHIFTDR", 0},
        {TAP_RESET, TAP_SHIFTIR, "01100", "RUNTEST SELECTDR SELECTIR CAPTUREIR SHIFTIR", 0},
        {TAP_RUNTEST, TAP_SHIFTDR, "100", "SELECTDR CAPTUREDR SHIFTDR", 0},
        {TAP_RUNTEST, TAP_SHIFTIR, "1100", "SELECTDR SELECTIR CAPTUREIR SHIFTIR", 0},
        {TAP_SHIFTDR, TAP_PAUSEDR, "10", "EXIT1DR PAUSEDR", 0},
        {TAP_SHIFTIR, TAP_PAUSEIR, "10", "EXIT1IR PAUSEIR", 0},
        {TAP_PAUSEDR, TAP_SHIFTDR, "10", "EXIT2DR SHIFTDR", 0},
        {TAP_PAUSEIR, TAP_SHIFTIR, "10", "EXIT2IR SHIFTIR", 0},
        {TAP_SHIFTDR, TAP_RUNTEST, "110", "EXIT UPDATE RUNTEST", 0},
        {TAP_PAUSEDR, TAP_RUNTEST, "110", "EXIT UPDATE RUNTEST", 0},
        {TAP_SHIFTIR, TAP_RUNTEST, "110", "EXIT UPDATE RUNTEST", 0},
        {TAP_PAUSEIR, TAP_RUNTEST, "110", "EXIT UPDATE RUNTEST", 0},
        {TAP_SHIFTDR, TAP_SHIFTIR, "111100", "EXITIR UPDATEIR SELECTDR SELECTIR CAPTUREIR SHIFTIR", 0},
        {TAP_PAUSEDR, TAP_SHIFTIR, "111100", "EXITIR UPDATEIR SELECTDR SELECTIR CAPTUREIR SHIFTIR", 0},
        {TAP_SHIFTIR, TAP_SHIFTDR, "11100", "EXITDR UPDATEDR SELECTDR CAPTUREDR SHIFTDR", 0},
        {TAP_PAUSEIR, TAP_SHIFTDR, "11100", "EXITDR UPDATEDR SELECTDR CAPTUREDR SHIFTDR", 0},
        // Refused pause targets: nothing clocked, but the target is recorded.
        {TAP_RESET, TAP_PAUSEDR, "", "", ErrIllegalState},
        {TAP_RUNTEST, TAP_PAUSEDR, "", "", ErrIllegalState},
        {TAP_SHIFTIR, TAP_PAUSEDR, "", "", ErrIllegalState},
        {TAP_PAUSEIR, TAP_PAUSEDR, "", "", ErrIllegalState},
        {TAP_RESET, TAP_PAUSEIR, "", "", ErrIllegalState},
        {TAP_RUNTEST, TAP_PAUSEIR, "", "", ErrIllegalState},
        {TAP_SHIFTDR, TAP_PAUSEIR, "", "", ErrIllegalState},
        {TAP_PAUSEDR, TAP_PAUSEIR, "", "", ErrIllegalState},
        // Codes outside the six take the path their bits select.
        {TAP_RUNTEST, 0x04, "100", "SELECTDR CAPTURE SHIFT", 0},
        {TAP_SHIFTDR, 0x02, "", "", ErrIllegalState},
        {0x02, 0x02, "", "", 0},
    };
    moves.insert(moves.end(), std::begin(table), std::end(table));

    LogLevel = 3;
    for (const Move& m : moves) {
        rec.events.clear();
        TapState state = m.from;
        testing::internal::CaptureStdout();
        EXPECT_EQ(tap_goto(state, m.to), m.result);
        const std::string log = testing::internal::GetCapturedStdout();
        const std::string trace = "from " + std::to_string(m.from) + " to " + std::to_string(m.to);
        EXPECT_EQ(tms(), m.tms) << trace;
        EXPECT_EQ(log, log_of(m.steps)) << trace;
        EXPECT_EQ(state, m.to) << trace;
        EXPECT_EQ(tap_can_reach(m.from, m.to), m.result == ErrNone) << trace;
    }
}

// The TAP controller state that each of the six codes stands for.
LogicTapState physical(TapState code)
{
    switch (code) {
    case TAP_RESET: return LogicTapState::TestLogicReset;
    case TAP_RUNTEST: return LogicTapState::RunTestIdle;
    case TAP_PAUSEDR: return LogicTapState::PauseDr;
    case TAP_SHIFTDR: return LogicTapState::ShiftDr;
    case TAP_PAUSEIR: return LogicTapState::PauseIr;
    default: return LogicTapState::ShiftIr;
    }
}

TEST_F(TapTest, EveryAcceptedMoveEndsWhereAControllerClockedByItsTmsEnds)
{
    const TapState all[] = {TAP_RESET, TAP_RUNTEST, TAP_PAUSEDR, TAP_SHIFTDR, TAP_PAUSEIR, TAP_SHIFTIR};
    LogLevel = -1;
    int refused = 0;
    for (TapState from : all) {
        for (TapState to : all) {
            rec.events.clear();
            TapState state = from;
            const std::int32_t result = tap_goto(state, to);
            LogicTapState tap = physical(from);
            for (char level : tms()) {
                tap = logic_tap_next(tap, level - '0');
            }
            const std::string trace = "from " + std::to_string(from) + " to " + std::to_string(to);
            EXPECT_EQ(state, to) << trace; // recorded either way
            if (result == ErrNone) {
                EXPECT_EQ(tap, physical(to)) << trace;
            } else {
                // Only a pause that is not next to the TAP's shift state is refused, unclocked.
                ++refused;
                EXPECT_EQ(result, ErrIllegalState) << trace;
                EXPECT_EQ(tms(), "") << trace;
                EXPECT_NE(to & TAP_PAUSE_BIT, 0) << trace;
                EXPECT_NE(from, (to & TAP_REGISTER_BITS) | TAP_SHIFT_BIT) << trace;
            }
        }
    }
    EXPECT_EQ(refused, 8);
}

TEST_F(TapTest, BelowLevelThreeTheSameMovesPrintNothing)
{
    LogLevel = 2;
    TapState state = TAP_RUNTEST;
    testing::internal::CaptureStdout();
    tap_goto(state, TAP_SHIFTIR);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(tms(), "1100");
}

} // namespace
