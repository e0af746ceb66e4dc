// Shift engine: bit order, capture layout, compares, retries and waits.
#include "tests/xsvf/xsvf_fixture.h"
#include "xsvf/shift.h"

namespace {

using ShiftTest = XsvfTest;

std::string kinds(const std::vector<WireEvent>& w)
{
    std::string s;
    for (const WireEvent& e : w) {
        s += e.kind;
    }
    return s;
}

TEST_F(ShiftTest, NineBitsGoOutLeastSignificantFirstAndCaptureAtTheirPositions)
{
    rec.tdo_script = "101100111";
    Vb captured({}, 0x55);
    shift_only(9, &Vb({0x01, 0xFE}), &captured);
    const auto w = wire();
    EXPECT_EQ(kinds(w), "RPRPRPRPRPRPRPRPR"); // TDO sampled before each bit, no pulse after the last
    EXPECT_EQ(tdi_bits(0, 8), "01111111");
    EXPECT_EQ(PortShadow & PORT_TDI_BIT, PORT_TDI_BIT); // the ninth bit waits on the line
    EXPECT_EQ(captured.bytes(), (Bytes{0x01, 0xCD}));
}

// A target far away may owe the answers of a shift's reads until the shift ends: the same
// accesses in the same order, the same captured bits on return, one collect per capture.
TEST_F(ShiftTest, CapturedBitsOwedByTheTargetAreInPlaceWhenTheShiftReturns)
{
    struct Owing {
        SimTarget inner;
        std::vector<std::pair<std::uint8_t*, std::pair<unsigned, std::uint32_t>>> owed;
        int collects = 0;
    } owing{recording_target(&rec), {}, 0};
    SimTarget t = owing.inner;
    t.context = &owing;
    t.read = [](void* c, std::uint32_t offset) {
        auto* o = static_cast<Owing*>(c);
        return o->inner.read(o->inner.context, offset);
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* o = static_cast<Owing*>(c);
        o->inner.write(o->inner.context, offset, value);
    };
    t.read_bit = [](void* c, std::uint32_t offset, unsigned bit, std::uint8_t* into, unsigned at) {
        auto* o = static_cast<Owing*>(c);
        const std::uint32_t value = o->inner.read(o->inner.context, offset); // recorded now
        o->owed.push_back({into, {at, (value >> bit) & 1u}});
    };
    t.collect = [](void* c) {
        auto* o = static_cast<Owing*>(c);
        ++o->collects;
        for (const auto& [into, bit] : o->owed) {
            *into = static_cast<std::uint8_t>((*into & ~(1u << bit.first)) | (bit.second << bit.first));
        }
        o->owed.clear();
    };
    sim_attach_target(0, t);
    rec.tdo_script = "101100111";
    Vb captured({}, 0x55);
    shift_only(9, &Vb({0x01, 0xFE}), &captured);
    EXPECT_EQ(kinds(wire()), "RPRPRPRPRPRPRPRPR");
    EXPECT_EQ(captured.bytes(), (Bytes{0x01, 0xCD}));
    EXPECT_EQ(owing.collects, 1);
    shift_only(9, &Vb({0x01, 0xFE}), nullptr); // nothing captured, nothing to collect
    EXPECT_EQ(owing.collects, 1);
}

TEST_F(ShiftTest, ShortAndEmptyShiftsAndBoundedLengths)
{
    Vb captured({}, 0x55);
    shift_only(0, &Vb({0xAA, 0xBB}), &captured);
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(captured.count, 2);
    shift_only(1, &Vb({0x01}), &captured);
    EXPECT_EQ(kinds(wire()), "R");
    EXPECT_EQ(PortShadow & PORT_TDI_BIT, PORT_TDI_BIT);
    // Bytes above a shorter shift are cleared, not left from before.
    rec.tdo = 1;
    shift_only(8, &Vb({0x00, 0x00, 0x00}), &captured);
    EXPECT_EQ(captured.bytes(), (Bytes{0x00, 0x00, 0xFF}));
    // A length beyond the vector shifts only the vector's bits.
    rec.events.clear();
    shift_only(20, &Vb({0xFF}), nullptr);
    EXPECT_EQ(tms().size(), 7u);
}

TEST_F(ShiftTest, ZeroLengthOnlyWaitsAndStayingInShiftGivesOneExtraPulse)
{
    TapState state = TAP_RESET;
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 0, &Vb({}), nullptr, nullptr, nullptr, TAP_RUNTEST, 0, 0), 0);
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 0, &Vb({}), nullptr, nullptr, nullptr, TAP_RUNTEST, 500, 0), 0);
    const auto w = wire();
    ASSERT_EQ(kinds(w), "PD");
    EXPECT_EQ(w[1].n, 2500u);
    EXPECT_EQ(state, TAP_RUNTEST);

    rec.events.clear();
    shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), nullptr, nullptr, nullptr, TAP_SHIFTDR, 500, 3);
    EXPECT_EQ(tms(), "100" "0000000" "0");
    EXPECT_EQ(kinds(wire()).find('D'), std::string::npos);
    EXPECT_EQ(state, TAP_SHIFTDR);
}

TEST_F(ShiftTest, RetriesDetourThroughPauseWithAWaitGrowingByAQuarter)
{
    rec.tdo = 1;
    LogLevel = 3;
    TapState state = TAP_RUNTEST;
    Vb captured({});
    testing::internal::CaptureStdout();
    const std::int32_t r = shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x00}), nullptr,
                                         TAP_RUNTEST, 1000, 3);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, ErrTdoMismatchRetries);

    const std::string enter = "   TAP State = SELECTDR\n   TAP State = CAPTUREDR\n   TAP State = SHIFTDR\n";
    const std::string leave = "   TAP State = EXIT\n   TAP State = UPDATE\n   TAP State = RUNTEST\n";
    const std::string detour = "   TAP State = EXIT1DR\n   TAP State = PAUSEDR\n"
                               "   TAP State = EXIT2DR\n   TAP State = SHIFTDR\n";
    std::string want = "   Shift Length = 8\n";
    int n = 1;
    for (const char* wait : {"1250", "1562", "1952"}) {
        want += enter + "   Retry #" + std::to_string(n++) + "\n" + detour + leave + "   Wait = " + wait + " usec\n";
    }
    want += enter + leave + "   Wait = 1952 usec\n";
    want += " TDO Expected = 0x00\n TDO Captured = 0xff\n TDO Mask     = \n";
    EXPECT_EQ(log, want);
    std::vector<std::uint32_t> sleeps;
    for (const WireEvent& e : wire()) {
        if (e.kind == 'S') {
            sleeps.push_back(e.n);
        }
    }
    EXPECT_EQ(sleeps, (std::vector<std::uint32_t>{2, 2, 2, 2}));
}

TEST_F(ShiftTest, WithoutAWaitAMismatchIsRetriedThroughTheEndState)
{
    rec.tdo = 1;
    LogLevel = 3;
    TapState state = TAP_RUNTEST;
    Vb captured({});
    testing::internal::CaptureStdout();
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x00}), nullptr, TAP_RUNTEST, 0, 2),
              ErrTdoMismatchRetries);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Retry"), std::string::npos);
    EXPECT_EQ(tms(), "1000000000110" "1000000000110" "1000000000110");
}

TEST_F(ShiftTest, MismatchWithoutRetriesReportsAtLevelOne)
{
    rec.tdo = 1;
    LogLevel = 1;
    TapState state = TAP_RUNTEST;
    Vb captured({});
    testing::internal::CaptureStdout();
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x0F}), &Vb({0xF0}), TAP_RUNTEST,
                            50, 0),
              ErrTdoMismatch);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " TDO Expected = 0x0f\n TDO Captured = 0xff\n TDO Mask     = 0xf0\n");
    EXPECT_EQ(tms(), "1000000000110");
    LogLevel = 0;
    // Without an expected value nothing is compared, whatever TDO says.
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, nullptr, nullptr, TAP_RUNTEST, 0, 0), 0);
    // Only the bits that the mask selects count.
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x0F}), &Vb({0xF0}), TAP_RUNTEST,
                            0, 0),
              ErrTdoMismatch);
    EXPECT_EQ(shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0xF0}), &Vb({0xF0}), TAP_RUNTEST,
                            0, 0),
              0);
}

TEST_F(ShiftTest, LevelFourShowsTheVectorsBeforeTheMoves)
{
    LogLevel = 4;
    TapState state = TAP_RUNTEST;
    testing::internal::CaptureStdout();
    shift_checked(state, TAP_SHIFTDR, 8, &Vb({0xA5}), nullptr, nullptr, nullptr, TAP_RUNTEST, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   Shift Length = 8\n    TDI          = 0xa5\n    TDO Expected = \n"
              "   TAP State = SELECTDR\n   TAP State = CAPTUREDR\n   TAP State = SHIFTDR\n"
              "   TAP State = EXIT\n   TAP State = UPDATE\n   TAP State = RUNTEST\n");
}

TEST_F(ShiftTest, TheRetryWaitSaturatesAndNegativeWaitsWaitNothing)
{
    EXPECT_EQ(shift_grow_wait(1000), 1250);
    EXPECT_EQ(shift_grow_wait(3), 3);
    EXPECT_EQ(shift_grow_wait(INT32_MAX), INT32_MAX);
    EXPECT_EQ(shift_grow_wait(1800000000), INT32_MAX);
    EXPECT_EQ(shift_grow_wait(-1000), -1250);
    EXPECT_EQ(shift_grow_wait(INT32_MIN), INT32_MIN);

    rec.tdo = 1;
    LogLevel = 3;
    TapState state = TAP_RUNTEST;
    Vb captured({});
    testing::internal::CaptureStdout();
    shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x00}), nullptr, TAP_RUNTEST, INT32_MAX - 5, 2);
    shift_checked(state, TAP_SHIFTDR, 8, &Vb({0x00}), &captured, &Vb({0x00}), nullptr, TAP_RUNTEST, -1000, 1);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Wait = 2147483647 usec\n   TAP State = SELECTDR"), std::string::npos);
    EXPECT_NE(log.find("Wait = -1250 usec\n   TAP State = SELECTDR"), std::string::npos);
    int sleeps = 0;
    for (const WireEvent& e : wire()) {
        EXPECT_NE(e.kind, 'D');
        sleeps += e.kind == 'S';
    }
    EXPECT_EQ(sleeps, 3); // the huge waits only; the negative ones wait nothing
}

TEST_F(ShiftTest, AMatchingShiftLeavesTheRecordedStateWhereShiftLeavesSays)
{
    const TapState all[] = {TAP_RESET, TAP_RUNTEST, TAP_PAUSEDR, TAP_SHIFTDR, TAP_PAUSEIR, TAP_SHIFTIR};
    LogLevel = -1;
    int cases = 0;
    for (TapState start : {TAP_SHIFTDR, TAP_SHIFTIR}) {
        const TapState pause = static_cast<TapState>((start & TAP_REGISTER_BITS) | TAP_PAUSE_BIT);
        for (TapState end : {TAP_RUNTEST, pause, start}) {
            for (std::int32_t bits : {0, 5}) {
                for (std::int32_t wait : {0, 3, -1}) {
                    for (TapState from : all) {
                        TapState state = from;
                        shift_checked(state, start, bits, &Vb({0x1F}), nullptr, nullptr, nullptr, end, wait, 0);
                        EXPECT_EQ(state, shift_leaves(from, start, bits, end, wait))
                            << int(from) << " " << int(start) << " " << int(end) << " " << bits << " " << wait;
                        ++cases;
                    }
                }
            }
        }
    }
    EXPECT_EQ(cases, 216);
}

} // namespace
