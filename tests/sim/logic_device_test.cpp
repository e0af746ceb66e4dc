// The simulated card's logic device at the TAP level: edges taken from control word 0, the
// TAP controller, instruction and data registers, operations and their run-test times, the
// configuration memory, and the card faults. Driven through the JTAG signal port.
#include <gtest/gtest.h>

#include <vector>

#include "card/driver.h"
#include "card/port.h"
#include "platform/regs.h"
#include "sim/sim_card.h"
#include "sim/sim_platform.h"

namespace {

using Bits = std::vector<int>;

Bits bits_of(std::uint64_t value, int n)
{
    Bits b;
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<int>((value >> i) & 1u));
    }
    return b;
}

std::uint64_t value_of(const Bits& b)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < b.size() && i < 64; ++i) {
        v |= static_cast<std::uint64_t>(b[i] & 1) << i;
    }
    return v;
}

class DeviceTest : public ::testing::Test {
protected:
    void power_on(CardModel model = CARD_MODEL_PCI, std::uint32_t faults = 0)
    {
        SimConfig c;
        c.card_count = 1;
        c.cards[0].model = model;
        c.cards[0].card_faults = faults;
        sim_configure(c);
        sim_map_directly(0);
        PortShadow = PORT_SHADOW_INITIAL;
    }

    void SetUp() override { power_on(); }

    static const SimCard& card() { return *sim_card(0); }
    static const LogicDevice& device() { return card().device; }

    static void clock(int tms)
    {
        port_set_tms(static_cast<std::uint32_t>(tms));
        port_pulse_tck();
    }

    static void reset_to_idle()
    {
        for (int i = 0; i < 5; ++i) {
            clock(1);
        }
        clock(0);
    }

    // From Run-Test/Idle through the shift state and back to Run-Test/Idle, sampling TDO
    // before each bit as the player does.
    static Bits shift(bool ir, const Bits& in)
    {
        clock(1);
        if (ir) {
            clock(1);
        }
        clock(0);
        clock(0);
        Bits out;
        for (std::size_t i = 0; i < in.size(); ++i) {
            out.push_back(port_read_tdo());
            port_set_tdi(static_cast<std::uint32_t>(in[i]));
            if (i + 1 < in.size()) {
                port_pulse_tck();
            }
        }
        clock(1); // the last bit, into Exit1
        clock(1); // Update
        clock(0); // Run-Test/Idle
        return out;
    }

    static std::uint64_t ir(std::uint8_t instruction, std::int32_t wait_us = 0)
    {
        const std::uint64_t captured = value_of(shift(true, bits_of(instruction, DEVICE_IR_LENGTH)));
        port_wait_us(wait_us);
        return captured;
    }

    static std::uint64_t dr(std::uint64_t value, int n, std::int32_t wait_us = 0)
    {
        const std::uint64_t captured = value_of(shift(false, bits_of(value, n)));
        port_wait_us(wait_us);
        return captured;
    }

    static void set_address(std::uint32_t block)
    {
        ir(DEVICE_ADDRESS);
        dr(block, DEVICE_ADDRESS_LENGTH, static_cast<std::int32_t>(DEVICE_ADDRESS_US));
    }

    static void enter(std::uint8_t mode_instruction)
    {
        ir(mode_instruction, static_cast<std::int32_t>(DEVICE_MODE_US));
        ir(DEVICE_BYPASS);
    }

    // Loads row data (bit i for memory bit i of the row) and programs it with the given wait.
    static void program_row(std::uint32_t row, const Bits& data, std::int32_t wait_us)
    {
        ir(DEVICE_LOAD);
        shift(false, data);
        set_address(row * DEVICE_ROW_BLOCKS);
        ir(DEVICE_PROGRAM, wait_us);
        ir(DEVICE_BYPASS);
    }

    static Bits row_bits(std::uint32_t row)
    {
        Bits b;
        for (std::uint32_t i = 0; i < DEVICE_ROW_BITS; ++i) {
            b.push_back(logic_memory_bit(&device(), row * DEVICE_ROW_BITS + i));
        }
        return b;
    }

    static Bits pattern(std::uint32_t seed)
    {
        Bits b;
        for (std::uint32_t i = 0; i < DEVICE_ROW_BITS; ++i) {
            b.push_back(static_cast<int>((device_mix(seed + i / 64) >> (i % 64)) & 1u));
        }
        return b;
    }

    static void erase_sector0()
    {
        set_address(0);
        ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US));
        ir(DEVICE_BYPASS);
    }
};

TEST_F(DeviceTest, ResetSelectsIdcodeOfTheCardsModelShiftedOutLsbFirst)
{
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), device_idcode(CARD_MODEL_PCI));
    power_on(CARD_MODEL_CARDBUS);
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), device_idcode(CARD_MODEL_CARDBUS));
    power_on(CARD_MODEL_PCI, SIM_CARD_OTHER_MODEL);
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), device_idcode(CARD_MODEL_CARDBUS));
    // An instruction scan of IDCODE selects it again after another instruction.
    ir(DEVICE_BYPASS);
    ir(DEVICE_IDCODE);
    EXPECT_EQ(dr(0, 32), device_idcode(CARD_MODEL_CARDBUS));
}

TEST_F(DeviceTest, InstructionCaptureEndsInBinary01AndBypassDelaysOneBit)
{
    reset_to_idle();
    EXPECT_EQ(ir(DEVICE_BYPASS), DEVICE_IR_CAPTURE);
    EXPECT_EQ(DEVICE_IR_CAPTURE & 3u, 1u);
    // Through the 1-bit bypass register TDO follows TDI one clock late, starting with the 0
    // captured.
    EXPECT_EQ(dr(0xB3, 8), (0xB3u << 1) & 0xFFu);
    // Unknown instructions select the bypass register too.
    ir(0x7E);
    EXPECT_EQ(dr(0x01, 2), 0x02u);
}

TEST_F(DeviceTest, TapFollowsTmsThroughAllSixteenStatesAndFiveHighClocksReset)
{
    using S = LogicTapState;
    struct Step {
        int tms;
        S state;
    };
    const Step walk[] = {
        {0, S::RunTestIdle}, {1, S::SelectDr}, {0, S::CaptureDr}, {0, S::ShiftDr},  {1, S::Exit1Dr},
        {0, S::PauseDr},     {1, S::Exit2Dr},  {0, S::ShiftDr},   {1, S::Exit1Dr},  {1, S::UpdateDr},
        {1, S::SelectDr},    {1, S::SelectIr}, {0, S::CaptureIr}, {1, S::Exit1Ir},  {0, S::PauseIr},
        {1, S::Exit2Ir},     {0, S::ShiftIr},  {1, S::Exit1Ir},   {1, S::UpdateIr}, {0, S::RunTestIdle},
        {1, S::SelectDr},    {1, S::SelectIr}, {1, S::TestLogicReset},
    };
    const std::size_t steps = sizeof walk / sizeof walk[0];
    for (std::size_t prefix = 0; prefix <= steps; ++prefix) {
        reset_to_idle();
        for (int i = 0; i < 5; ++i) {
            clock(1);
        }
        ASSERT_EQ(device().state, S::TestLogicReset);
        for (std::size_t i = 0; i < prefix; ++i) {
            clock(walk[i].tms);
            ASSERT_EQ(device().state, walk[i].state) << "step " << i;
        }
        for (int i = 0; i < 5; ++i) {
            clock(1);
        }
        EXPECT_EQ(device().state, S::TestLogicReset) << "after prefix " << prefix;
    }
}

TEST_F(DeviceTest, CardActsOnControlWordZeroAndTdoChangesOnTheFallingEdge)
{
    reset_to_idle();
    clock(1);
    clock(0);
    clock(0); // Shift-DR, IDCODE captured: TDO presents bit 0 (1)
    ASSERT_EQ(device().state, LogicTapState::ShiftDr);
    EXPECT_EQ(port_read_tdo(), 1);
    const std::uint64_t edges = device().counters.rising_edges;
    // Rising edge with TDI 0: the register shifts, TDO keeps bit 0 until the falling edge.
    reg_write(RegisterPointer, 0x0A);
    EXPECT_EQ(port_read_tdo(), 1);
    // The busy-wait loop's repeated writes and writes to control words 1 to 3 are no edges.
    for (int i = 0; i < 100; ++i) {
        reg_write(RegisterPointer, 0x0A);
    }
    reg_write(RegisterPointer + 4, 0x08);
    reg_write(RegisterPointer + 8, 0x0A);
    reg_write(RegisterPointer + 12, 0x08);
    EXPECT_EQ(device().counters.rising_edges, edges + 1);
    reg_write(RegisterPointer, 0x08);
    EXPECT_EQ(port_read_tdo(), static_cast<int>((device_idcode(CARD_MODEL_PCI) >> 1) & 1u));
    EXPECT_EQ(reg_read(RegisterPointer + 8), 0x0Au); // control words read back
}

TEST_F(DeviceTest, BitThreeGatesTheBuffersAndBitFourRequestsReload)
{
    reset_to_idle();
    clock(1);
    clock(0);
    clock(0); // Shift-DR of IDCODE
    port_set_tdi(0);
    for (int i = 0; i < 2; ++i) {
        port_pulse_tck(); // TDO now presents IDCODE bit 2 (1)
    }
    // Shift 8 more bits so that TDO shows a 0: bit 9 of 0x14D010FF is 0.
    for (int i = 0; i < 7; ++i) {
        port_pulse_tck();
    }
    ASSERT_EQ(port_read_tdo(), 0);
    const std::uint64_t edges = device().counters.rising_edges;
    reg_write(RegisterPointer, 0x00); // buffers off
    EXPECT_EQ(port_read_tdo(), 1);
    reg_write(RegisterPointer, 0x02);
    reg_write(RegisterPointer, 0x00); // a TCK pulse the device does not see
    EXPECT_EQ(device().counters.rising_edges, edges);
    EXPECT_FALSE(card().reload_requested);
    reg_write(RegisterPointer, 16);
    EXPECT_TRUE(card().reload_requested);
    EXPECT_FALSE(card().port.lines.enabled);
    reg_write(RegisterPointer, 8); // buffers on again: TDO is the device's again
    EXPECT_EQ(port_read_tdo(), 0);
    EXPECT_EQ(device().state, LogicTapState::ShiftDr);
}

TEST_F(DeviceTest, StatusShowsModesBlankAndDone)
{
    reset_to_idle();
    ir(DEVICE_STATUS);
    EXPECT_EQ(dr(0, DEVICE_STATUS_LENGTH), DEVICE_STATUS_ONE | DEVICE_STATUS_DONE); // factory contents
    enter(DEVICE_ENABLE);
    ir(DEVICE_STATUS);
    EXPECT_EQ(dr(0, DEVICE_STATUS_LENGTH), DEVICE_STATUS_ONE | DEVICE_STATUS_PROGRAM | DEVICE_STATUS_DONE);
    set_address(0);
    ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US));
    for (std::uint32_t s = 1; s < DEVICE_SECTORS; ++s) {
        ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US));
    }
    ir(DEVICE_STATUS);
    EXPECT_EQ(dr(0, DEVICE_STATUS_LENGTH), DEVICE_STATUS_ONE | DEVICE_STATUS_PROGRAM | DEVICE_STATUS_BLANK);
    EXPECT_EQ(device().counters.sector_erases, DEVICE_SECTORS);
    ir(DEVICE_ADDRESS);
    EXPECT_EQ(dr(0, DEVICE_ADDRESS_LENGTH), DEVICE_SECTORS * DEVICE_SECTOR_BLOCKS); // erase steps the address
    enter(DEVICE_VERIFY);
    ir(DEVICE_STATUS);
    EXPECT_EQ(dr(0, DEVICE_STATUS_LENGTH), DEVICE_STATUS_ONE | DEVICE_STATUS_VERIFY | DEVICE_STATUS_BLANK);
    enter(DEVICE_DISABLE);
    EXPECT_EQ(device().mode, LogicMode::Off);
}

TEST_F(DeviceTest, ProgrammingTakesEffectOnlyAfterTheFullRunTestTime)
{
    reset_to_idle();
    enter(DEVICE_ENABLE);
    erase_sector0();
    const Bits data = pattern(7);
    // 13 ms is too short: the row stays erased and the address does not step.
    program_row(3, data, static_cast<std::int32_t>(DEVICE_PROGRAM_US) - 1000);
    EXPECT_EQ(device().counters.short_dwells, 1u);
    EXPECT_EQ(device().counters.rows_programmed, 0u);
    EXPECT_EQ(row_bits(3), Bits(DEVICE_ROW_BITS, 1));
    program_row(3, data, static_cast<std::int32_t>(DEVICE_PROGRAM_US));
    EXPECT_EQ(device().counters.rows_programmed, 1u);
    EXPECT_EQ(row_bits(3), data);
    ir(DEVICE_ADDRESS);
    EXPECT_EQ(dr(0, DEVICE_ADDRESS_LENGTH), 4 * DEVICE_ROW_BLOCKS); // stepped to the next row
    // Without an erase, programming only clears bits: the row becomes the AND of both.
    const Bits other = pattern(99);
    program_row(3, other, static_cast<std::int32_t>(DEVICE_PROGRAM_US));
    Bits both;
    for (std::size_t i = 0; i < data.size(); ++i) {
        both.push_back(data[i] & other[i]);
    }
    EXPECT_EQ(row_bits(3), both);
}

TEST_F(DeviceTest, OperationsNeedTheirModeAndEraseNeedsItsTime)
{
    reset_to_idle();
    const Bits before = row_bits(0);
    // Not in programming mode: erase and program are refused.
    set_address(0);
    ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US));
    ir(DEVICE_BYPASS);
    program_row(0, pattern(1), static_cast<std::int32_t>(DEVICE_PROGRAM_US));
    EXPECT_EQ(device().counters.refused, 2u);
    EXPECT_EQ(row_bits(0), before);
    // A mode switch cut short does not happen; an erase cut short erases nothing.
    ir(DEVICE_ENABLE, static_cast<std::int32_t>(DEVICE_MODE_US) - 1000);
    ir(DEVICE_BYPASS);
    EXPECT_EQ(device().mode, LogicMode::Off);
    enter(DEVICE_ENABLE);
    set_address(0);
    ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US) - 1000);
    ir(DEVICE_BYPASS);
    EXPECT_EQ(row_bits(0), before);
    EXPECT_EQ(device().counters.short_dwells, 2u);
    erase_sector0();
    EXPECT_EQ(row_bits(0), Bits(DEVICE_ROW_BITS, 1));
    EXPECT_EQ(row_bits(DEVICE_SECTOR_ROWS), [] {
        Bits b;
        for (std::uint32_t i = 0; i < DEVICE_ROW_BITS; ++i) {
            const std::uint32_t bit = DEVICE_SECTOR_ROWS * DEVICE_ROW_BITS + i;
            b.push_back(static_cast<int>((device_factory_word(bit / 64) >> (bit % 64)) & 1u));
        }
        return b;
    }()); // the next sector is untouched
    EXPECT_FALSE(device().done);
}

TEST_F(DeviceTest, AddressLatchesOncePerUpdateAfterItsRunTestTime)
{
    reset_to_idle();
    set_address(0x123);
    ir(DEVICE_ADDRESS);
    EXPECT_EQ(dr(0x123, DEVICE_ADDRESS_LENGTH), 0x123u);
    // Leaving Run-Test/Idle again with ADDRESS selected and no new update changes nothing.
    enter(DEVICE_ENABLE);
    erase_sector0();
    ir(DEVICE_ADDRESS, 5);
    ir(DEVICE_ADDRESS, 5);
    EXPECT_EQ(dr(0, DEVICE_ADDRESS_LENGTH), DEVICE_SECTOR_BLOCKS);
}

TEST_F(DeviceTest, ReadFetchesFromTheAddressInVerifyModeOnly)
{
    reset_to_idle();
    const std::uint32_t block = DEVICE_MEMORY_BLOCKS - 2; // the last 256 bits, then past the end
    set_address(block);
    ir(DEVICE_READ, static_cast<std::int32_t>(DEVICE_READ_US));
    ir(DEVICE_BYPASS);
    EXPECT_EQ(device().counters.fetches, 0u);
    EXPECT_EQ(device().counters.refused, 1u);
    enter(DEVICE_VERIFY);
    ir(DEVICE_READ, static_cast<std::int32_t>(DEVICE_READ_US) - 10);
    ir(DEVICE_READ, static_cast<std::int32_t>(DEVICE_READ_US)); // the first one was too short
    EXPECT_EQ(device().counters.fetches, 0u);
    const Bits out = shift(false, Bits(300, 0));
    EXPECT_EQ(device().counters.fetches, 1u);
    for (std::uint32_t i = 0; i < out.size(); ++i) {
        const std::uint32_t bit = block * DEVICE_BLOCK_BITS + i;
        const int expected = bit < DEVICE_MEMORY_BITS ? logic_memory_bit(&device(), bit) : 1;
        ASSERT_EQ(out[i], expected) << "bit " << i;
    }
}

TEST_F(DeviceTest, FaultsByNameAndTheirEffects)
{
    const auto card_fault = [](const char* name) -> std::uint32_t {
        const SimFault* f = sim_fault_by_name(name);
        return f != nullptr && f->kind == SimFaultKind::Card ? f->bit : 0u;
    };
    EXPECT_EQ(card_fault("tdo-stuck-0"), SIM_CARD_TDO_STUCK_0);
    EXPECT_EQ(card_fault("tdo-stuck-1"), SIM_CARD_TDO_STUCK_1);
    EXPECT_EQ(card_fault("flash-bit-stuck"), SIM_CARD_FLASH_BIT_STUCK);
    EXPECT_EQ(card_fault("other-model"), SIM_CARD_OTHER_MODEL);
    EXPECT_EQ(card_fault("buffers-disabled"), SIM_CARD_BUFFERS_DISABLED);
    EXPECT_EQ(card_fault("vanish"), SIM_CARD_VANISH);
    EXPECT_EQ(card_fault("map-fails"), 0u);
    EXPECT_EQ(card_fault(""), 0u);

    power_on(CARD_MODEL_PCI, SIM_CARD_TDO_STUCK_0);
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), 0u);
    power_on(CARD_MODEL_PCI, SIM_CARD_TDO_STUCK_1);
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), 0xFFFFFFFFu);
    power_on(CARD_MODEL_PCI, SIM_CARD_BUFFERS_DISABLED);
    reset_to_idle();
    EXPECT_EQ(dr(0, 32), 0xFFFFFFFFu);
    EXPECT_EQ(device().counters.rising_edges, 0u);

    power_on(CARD_MODEL_CARDBUS, SIM_CARD_FLASH_BIT_STUCK);
    const std::int32_t stuck = device().stuck_bit;
    ASSERT_GE(stuck, static_cast<std::int32_t>(SIM_CARD_STUCK_BIT_FROM));
    EXPECT_EQ(device_configuration_bit(CARD_MODEL_CARDBUS, static_cast<std::uint32_t>(stuck)), 0);
    reset_to_idle();
    enter(DEVICE_ENABLE);
    const std::uint32_t row = static_cast<std::uint32_t>(stuck) / DEVICE_ROW_BITS;
    set_address(row * DEVICE_ROW_BLOCKS);
    ir(DEVICE_ERASE, static_cast<std::int32_t>(DEVICE_ERASE_US));
    program_row(row, Bits(DEVICE_ROW_BITS, 0), static_cast<std::int32_t>(DEVICE_PROGRAM_US));
    const Bits after = row_bits(row);
    for (std::uint32_t i = 0; i < DEVICE_ROW_BITS; ++i) {
        ASSERT_EQ(after[i], row * DEVICE_ROW_BITS + i == static_cast<std::uint32_t>(stuck) ? 1 : 0) << i;
    }
}

TEST_F(DeviceTest, VanishingCardAnswersAllOnesAfterProgrammingSomeRows)
{
    power_on(CARD_MODEL_PCI, SIM_CARD_VANISH);
    reset_to_idle();
    enter(DEVICE_ENABLE);
    erase_sector0();
    EXPECT_EQ(reg_read(RegisterPointer - 0x100), 0x10000000u); // TDO 1 outside a shift state
    for (std::uint32_t r = 0; r < SIM_CARD_VANISH_AFTER_ROWS; ++r) {
        ASSERT_FALSE(card().vanished) << r;
        program_row(r % DEVICE_SECTOR_ROWS, pattern(r), static_cast<std::int32_t>(DEVICE_PROGRAM_US));
    }
    EXPECT_TRUE(card().vanished);
    EXPECT_EQ(reg_read(RegisterPointer - 0x100), 0xFFFFFFFFu);
    EXPECT_EQ(reg_read(RegisterPointer), 0xFFFFFFFFu);
    const std::uint64_t edges = device().counters.rising_edges;
    clock(1);
    EXPECT_EQ(device().counters.rising_edges, edges);
}

} // namespace
