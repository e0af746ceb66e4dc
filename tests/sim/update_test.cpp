// Complete updates through the player against the simulated card, in virtual time: the
// programs, the player, the port and the card's logic device together.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "images/image_source.h"
#include "card/driver.h"
#include "card/port.h"
#include "devtools/xsvf/stream_walk.h"
#include "sim/recording_target.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "sim/ui_recording.h"
#include "xsvf/commands.h"
#include "xsvf/player.h"
#include "xsvf/shift.h"
#include "xsvf/update.h"

namespace {

struct UpdateResult {
    std::int32_t result;
    std::uint32_t bytes_read;
};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override { LogLevel = -1; }
    void TearDown() override { LogLevel = 0; }

    // One card of the given model and faults, updated with the given program as a card page does.
    UpdateResult update(CardModel card_model, const std::uint8_t* program, std::uint32_t faults = 0)
    {
        SimConfig c = sim_default_config();
        c.card_count = 1;
        c.cards[0].model = card_model;
        c.cards[0].card_faults = faults;
        sim_configure(c);
        const std::int32_t result = player_update_card(0, program, IMAGE_LENGTH, nullptr);
        EXPECT_NE(result, UPDATE_NOT_MAPPED);
        EXPECT_FALSE(sim_is_mapped(0)); // released again
        return {result, ImageReadIndex};
    }

    static const SimCard& card() { return *sim_card(0); }
};

TEST_F(UpdateTest, EachProgramUpdatesItsOwnCardCompletely)
{
    struct Case {
        CardModel model;
        const std::uint8_t* program;
    };
    for (const Case& c : {Case{CARD_MODEL_PCI, PciImage}, Case{CARD_MODEL_CARDBUS, CardBusImage}}) {
        const UpdateResult r = update(c.model, c.program);
        EXPECT_EQ(r.result, ErrNone);
        EXPECT_EQ(r.bytes_read, IMAGE_LENGTH);
        EXPECT_EQ(MatchedCompares, 772); // every XSDRTDO of the program compares and matched
        EXPECT_TRUE(sim_card_holds_configuration(&card(), c.model));
        EXPECT_FALSE(sim_card_holds_configuration(&card(), device_other_model(c.model)));
        EXPECT_EQ(card().device.counters.sector_erases, DEVICE_SECTORS);
        EXPECT_EQ(card().device.counters.rows_programmed, DEVICE_ROWS);
        EXPECT_EQ(card().device.counters.fetches, 2u * 191u); // each fetch is repeated by its scan's wait
        EXPECT_EQ(card().device.counters.short_dwells, 0u);
        EXPECT_EQ(card().device.counters.refused, 0u);
        EXPECT_EQ(card().device.mode, LogicMode::Off);
        EXPECT_TRUE(card().reload_requested);
        EXPECT_FALSE(card().port.lines.enabled);
    }
}

TEST_F(UpdateTest, WrongProgramFailsAtTheIdentityCheckBeforeAnyErase)
{
    struct Case {
        CardModel card;
        const std::uint8_t* program;
        std::uint32_t faults;
    };
    // The wrong program, and the right program on a card that carries the other device.
    for (const Case& c : {Case{CARD_MODEL_CARDBUS, PciImage, 0}, Case{CARD_MODEL_PCI, CardBusImage, 0},
                          Case{CARD_MODEL_PCI, PciImage, SIM_CARD_OTHER_MODEL}}) {
        const UpdateResult r = update(c.card, c.program, c.faults);
        EXPECT_EQ(r.result, ErrTdoMismatch);
        EXPECT_LT(r.bytes_read, 100u);
        EXPECT_EQ(MatchedCompares, 0); // the first compare, the identity, failed
        EXPECT_EQ(card().device.counters.idcode_captures, 1u);
        EXPECT_EQ(card().device.counters.sector_erases, 0u);
        EXPECT_EQ(card().device.counters.mode_changes, 0u);
        EXPECT_TRUE(card().device.done); // the old configuration is still there
        EXPECT_EQ(card().device.memory[0], device_factory_word(0));
    }
}

TEST_F(UpdateTest, EveryCardFaultEndsInFailure)
{
    struct Case {
        std::uint32_t fault;
        std::uint32_t erases;  // sector erases the device did before the failure
        std::uint32_t rows;    // rows it programmed
        bool identified;       // whether the card passed the identity check
    };
    const Case cases[] = {
        {SIM_CARD_TDO_STUCK_0, 0, 0, false},
        {SIM_CARD_TDO_STUCK_1, 0, 0, false},
        {SIM_CARD_BUFFERS_DISABLED, 0, 0, false},
        {SIM_CARD_FLASH_BIT_STUCK, DEVICE_SECTORS, DEVICE_ROWS, true}, // found by the read-back
        {SIM_CARD_VANISH, DEVICE_SECTORS, SIM_CARD_VANISH_AFTER_ROWS, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        RecordedMessages.clear();
        const UpdateResult r = update(CARD_MODEL_PCI, PciImage, c.fault);
        EXPECT_EQ(r.result, ErrTdoMismatch);
        EXPECT_LT(r.bytes_read, IMAGE_LENGTH);
        EXPECT_EQ(card().device.counters.sector_erases, c.erases);
        EXPECT_EQ(card().device.counters.rows_programmed, c.rows);
        EXPECT_EQ(MatchedCompares > 0, c.identified);
        EXPECT_FALSE(sim_card_holds_configuration(&card(), CARD_MODEL_PCI));
        // The bar stays at the last percent reached.
        const std::uint32_t percent = r.bytes_read * 100u / IMAGE_LENGTH;
        if (percent == 0) {
            EXPECT_TRUE(RecordedMessages.empty());
        } else {
            ASSERT_FALSE(RecordedMessages.empty());
            EXPECT_EQ(RecordedMessages.back().wparam, percent);
        }
    }
}

TEST_F(UpdateTest, ARunTestTimeCutShortLeavesARowUnprogrammedAndTheCheckAfterProgrammingFails)
{
    std::vector<std::uint8_t> program(PciImage, PciImage + IMAGE_LENGTH);
    const WalkedStream w = xsvf_walk_all(program);
    ASSERT_TRUE(w.result.ok && w.result.trailing == 0) << w.result.error;
    int found = 0;
    std::uint32_t check_end = 0; // end of the address check that follows the last row
    bool rows_done = false;
    for (const WalkedCommand& c : w.commands) {
        if (c.opcode == XRUNTEST && c.value == DEVICE_PROGRAM_US && ++found == 11) {
            // Row 10's program wait cut from 14000 to 13000 us: a 13 ms sleep.
            program[c.offset + 3] = static_cast<std::uint8_t>((13000 >> 8) & 0xFF);
            program[c.offset + 4] = static_cast<std::uint8_t>(13000 & 0xFF);
        }
        if (c.opcode == XSDRTDO && c.shift_bits == DEVICE_ROW_BITS) {
            rows_done = true;
        } else if (c.opcode == XSDRTDO && rows_done && check_end == 0 && found == static_cast<int>(DEVICE_ROWS)) {
            check_end = c.offset + c.size;
        }
    }
    ASSERT_GT(check_end, 0u);
    const UpdateResult r = update(CARD_MODEL_PCI, program.data());
    EXPECT_EQ(r.result, ErrTdoMismatch);
    EXPECT_EQ(card().device.counters.short_dwells, 1u);
    EXPECT_EQ(card().device.counters.rows_programmed, DEVICE_ROWS - 1);
    // The row was never programmed, so the address stopped one row short: the check after
    // programming fails, before the done flag is written.
    EXPECT_EQ(r.bytes_read, check_end);
    EXPECT_FALSE(card().device.done);
}

TEST_F(UpdateTest, CompleteRunShowsEveryPercentAndASecondRunSucceedsAgain)
{
    RecordedMessages.clear();
    UpdateResult r = update(CARD_MODEL_CARDBUS, CardBusImage);
    ASSERT_EQ(r.result, ErrNone);
    ASSERT_EQ(RecordedMessages.size(), 200u);
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(RecordedMessages[2 * i].text, std::to_string(i + 1) + " %");
        EXPECT_EQ(RecordedMessages[2 * i + 1].wparam, i + 1);
    }
    // Without a power cycle the card holds the new configuration; a second update of the
    // same card (sim_configure powers it on again, so run the player twice here) works too.
    EXPECT_EQ(player_update_card(0, CardBusImage, IMAGE_LENGTH, nullptr), ErrNone);
    EXPECT_TRUE(sim_card_holds_configuration(&card(), CARD_MODEL_CARDBUS));
    EXPECT_EQ(card().device.counters.rows_programmed, 2 * DEVICE_ROWS);
}
}

namespace {

// The register accesses and driver requests of one update, around a program that is only
// XCOMPLETE: buffers on, the player's reset (five TCK pulses with TMS high), reload request.
TEST(UpdateSequence, EnablesTheBuffersRunsTheProgramAndRequestsTheReloadBetweenMapAndRelease)
{
    SimConfig c = sim_default_config();
    c.card_count = 1;
    sim_configure(c);
    RecordingTarget recorder;
    sim_attach_target(0, recording_target(&recorder));
    const std::uint8_t complete[] = {0};
    // The shadow word is never reset: TDI stays where the last shift left it.
    const std::uint32_t tdi = PortShadow & PORT_TDI_BIT;
    LogLevel = -1;
    EXPECT_EQ(player_update_card(0, complete, sizeof complete, nullptr), ErrNone);
    LogLevel = 0;

    ASSERT_EQ(recorder.events.size(), 1u + 5u * 12u + 1u);
    EXPECT_EQ(recorder.events.front(), (RecordedEvent{'W', 0x100, 0x08}));
    for (std::size_t pulse = 0; pulse < 5; ++pulse) {
        for (std::size_t w = 0; w < 12; ++w) {
            const RecordedEvent& e = recorder.events[1 + pulse * 12 + w];
            EXPECT_EQ(e.offset, 0x100u + 4u * (w % 4));
            EXPECT_EQ(e.value, (w / 4 == 1 ? 0x0Bu : 0x09u) | tdi); // TMS high, TCK low-high-low
        }
    }
    EXPECT_EQ(recorder.events.back(), (RecordedEvent{'W', 0x100, 0x10}));

    std::vector<std::uint32_t> codes;
    for (int i = 0; i < TheSimCallLog.count; ++i) {
        if (TheSimCallLog.calls[i].kind == SimCallKind::DeviceIoControl) {
            codes.push_back(TheSimCallLog.calls[i].code);
        }
    }
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{CTL_CARD_INFO, CTL_MAP_REGISTER, CTL_UNMAP_REGISTER}));
    EXPECT_FALSE(sim_is_mapped(0));
    EXPECT_EQ(TheSimCallLog.open_handles, 0);
}

TEST(UpdateSequence, ACardThatCannotBeMappedIsNotTouched)
{
    for (const std::uint32_t fault : {SIM_FAULT_MAP_FAILS, SIM_FAULT_MAP_ADDRESS_ZERO}) {
        SimConfig c = sim_default_config();
        c.card_count = 1;
        c.cards[0].driver_faults = fault;
        sim_configure(c);
        RecordingTarget recorder;
        sim_attach_target(0, recording_target(&recorder));
        TheSimClock.register_writes = 0;
        EXPECT_EQ(player_update_card(0, PciImage, IMAGE_LENGTH, nullptr), UPDATE_NOT_MAPPED) << fault;
        EXPECT_TRUE(recorder.events.empty()) << fault;
        EXPECT_EQ(TheSimClock.register_writes, 0u) << fault;
        for (int i = 0; i < TheSimCallLog.count; ++i) {
            EXPECT_NE(TheSimCallLog.calls[i].code, CTL_UNMAP_REGISTER) << fault; // nothing to release
        }
    }
}

// What the log says of each kind of failure, for the card page's line.
TEST(UpdateSequence, EachFailureIsNamedByItsCause)
{
    const std::string identity = "the card did not identify as the device this program is for "
                                 "(the other interface, another model, or no answer)";
    const std::string later = "a mismatch after the identity check (the card stopped answering, or a verify failed)";
    struct Case {
        const char* what;
        const std::uint8_t* program;
        std::uint32_t driver_faults;
        std::uint32_t card_faults;
        std::string text;
    };
    const Case cases[] = {
        {"map fails", PciImage, SIM_FAULT_MAP_FAILS, 0, "its register block could not be mapped"},
        {"map address 0", PciImage, SIM_FAULT_MAP_ADDRESS_ZERO, 0, "its register block could not be mapped"},
        {"card info fails", PciImage, SIM_FAULT_CARD_INFO_FAILS, 0, "the card could not be reached through its driver"},
        {"device missing", PciImage, SIM_FAULT_DEVICE_MISSING, 0, "the card could not be reached through its driver"},
        {"wrong interface", CardBusImage, 0, 0, identity},
        {"another model", PciImage, 0, SIM_CARD_OTHER_MODEL, identity},
        {"no answer", PciImage, 0, SIM_CARD_BUFFERS_DISABLED, identity},
        {"vanishes", PciImage, 0, SIM_CARD_VANISH, later},
        {"verify fails", PciImage, 0, SIM_CARD_FLASH_BIT_STUCK, later},
    };
    LogLevel = -1;
    for (const Case& c : cases) {
        SimConfig config = sim_default_config();
        config.card_count = 1;
        config.cards[0].driver_faults = c.driver_faults;
        config.cards[0].card_faults = c.card_faults;
        sim_configure(config);
        const std::int32_t result = player_update_card(0, c.program, IMAGE_LENGTH, nullptr);
        EXPECT_NE(result, ErrNone) << c.what;
        EXPECT_EQ(player_failure_text(result), c.text) << c.what;
    }
    LogLevel = 0;
    // A player error that is no mismatch is named by the player's own text.
    EXPECT_STREQ(player_failure_text(ErrUnsupportedCommand), "Unsupported XSVF command");
    EXPECT_STREQ(player_failure_text(ErrStreamEnded), "XSVF stream ended before XCOMPLETE");
}

} // namespace
