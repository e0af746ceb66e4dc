// Complete updates through the player against the simulated card, in virtual time: the
// programs, the player, the port and the card's logic device together.
#include <gtest/gtest.h>

#include "card/driver.h"
#include "card/port.h"
#include "images/image_source.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"

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
    UpdateResult update(SimCardModel card_model, const std::uint8_t* program, std::uint32_t faults = 0)
    {
        SimConfig c = sim_default_config();
        c.card_count = 1;
        c.cards[0].model = card_model;
        c.cards[0].card_faults = faults;
        sim_configure(c);
        EXPECT_EQ(driver_probe(0, 1), 1);
        SelectedImage = program;
        SelectedImageLength = IMAGE_LENGTH;
        ImageReadIndex = 0;
        LastPercent = 0;
        reg_write(RegisterPointer, 8);
        port_set_tms(1);
        const std::int32_t result = player_execute();
        const std::uint32_t bytes = ImageReadIndex;
        reg_write(RegisterPointer, 16);
        driver_release();
        return {result, bytes};
    }

    static const SimCard& card() { return *sim_card(0); }
};

TEST_F(UpdateTest, EachProgramUpdatesItsOwnCardCompletely)
{
    struct Case {
        SimCardModel model;
        const std::uint8_t* program;
    };
    for (const Case& c : {Case{SimCardModel::Pci, PciImage}, Case{SimCardModel::CardBus, CardBusImage}}) {
        const UpdateResult r = update(c.model, c.program);
        EXPECT_EQ(r.result, ErrNone);
        EXPECT_EQ(r.bytes_read, IMAGE_LENGTH);
        EXPECT_TRUE(sim_card_holds_configuration(&card(), c.model));
        EXPECT_FALSE(sim_card_holds_configuration(&card(), device_other_model(c.model)));
        EXPECT_EQ(card().device.counters.sector_erases, DEVICE_SECTORS);
        EXPECT_EQ(card().device.counters.rows_programmed, DEVICE_ROWS);
        EXPECT_EQ(card().device.counters.fetches, 2u * 191u); // each fetch is repeated by its scan's wait
        EXPECT_EQ(card().device.counters.short_dwells, 0u);
        EXPECT_EQ(card().device.counters.refused, 0u);
        EXPECT_EQ(card().device.mode, LogicMode::Off);
        EXPECT_TRUE(card().reload_requested);
        EXPECT_FALSE(card().buffers_enabled);
    }
}
}
