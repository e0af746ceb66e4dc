// The state file of the simulated cards: every start is a power-on with what the memory held
// when the last process ended, and a damaged or foreign file is refused whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "images/image_source.h"
#include "sim/sim_card.h"
#include "sim/sim_platform.h"
#include "sim/sim_state.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

namespace {

using Bytes = std::vector<char>;

Bytes read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_all(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class SimStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogLevel = -1;
        // The process id keeps two runs of the suite on one machine apart.
        path_ = ::testing::TempDir() + "mola-state-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::remove(path_.c_str());
    }
    void TearDown() override
    {
        sim_state_close();
        std::remove(path_.c_str());
        LogLevel = 0;
    }

    // A start of the simulated platform over the state file (MOLA_SIM_CARDS=pci:9,cardbus:10
    // when it is created): the revisions the two cards report.
    std::pair<std::int32_t, std::int32_t> power_on(std::uint64_t cut_pci_after = SIM_NO_POWER_CUT)
    {
        SimEnvironment env;
        env.state = path_.c_str();
        env.clock = "virtual";
        SimConfig c;
        SimMessage message{};
        EXPECT_TRUE(sim_parse_environment(env, &c, &message)) << message.text;
        c.cards[0].power_cut_after_tck = cut_pci_after;
        sim_configure(c);
        return {TheSimConfig.cards[0].revision, TheSimConfig.cards[1].revision};
    }

    std::int32_t update_pci() { return player_update_card(0, PciImage, IMAGE_LENGTH, nullptr); }

    std::string path_;
};

TEST_F(SimStateTest, ACardKeepsWhatItsMemoryHeldFromOneStartToTheNext)
{
    using Revisions = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(power_on(), Revisions(9, 10)); // made from the configured cards, as delivered
    EXPECT_EQ(read_all(path_).size(), SIM_STATE_HEADER_BYTES + 2 * SIM_STATE_CARD_BYTES);

    // The power fails half way through the programming: erased and partly written.
    power_on(700000);
    EXPECT_NE(update_pci(), ErrNone);
    EXPECT_TRUE(sim_card(0)->power_lost);
    EXPECT_EQ(power_on(), Revisions(0, 10));
    const SimCard* card = sim_card(0);
    EXPECT_EQ(card->device.state, LogicTapState::TestLogicReset);
    EXPECT_EQ(card->device.mode, LogicMode::Off);
    EXPECT_FALSE(card->device.done);

    // Updated again on the next start; every later start finds the tool's configuration.
    EXPECT_EQ(update_pci(), ErrNone);
    EXPECT_EQ(power_on(), Revisions(10, 10));
    EXPECT_TRUE(sim_card_holds_configuration(sim_card(0), CARD_MODEL_PCI));
    EXPECT_EQ(power_on(), Revisions(10, 10));
}

TEST_F(SimStateTest, ADamagedOrForeignFileIsRefusedWholeAndLeftAsItIs)
{
    power_on();
    sim_state_close();
    const Bytes good = read_all(path_);
    auto with = [&](std::size_t at, char value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    } const cases[] = {
        {"truncated", Bytes(good.begin(), good.end() - 1), "ends inside card 2 of 2"},
        {"one byte more", [&] { Bytes b = good; b.push_back(0); return b; }(), "longer than its 2 cards"},
        {"empty", Bytes(), "not a state file"},
        {"wrong magic", with(0, 'X'), "not a state file"},
        {"another layout", with(12, 2), "state file layout 2"},
        {"no cards", with(16, 0), "names 0 cards"},
        {"three cards", with(16, 3), "ends inside card 3 of 3"},
        {"nine cards", with(16, 9), "names 9 cards"},
        {"unknown model", with(SIM_STATE_HEADER_BYTES, 7), "card 1 of the state file is damaged"},
        {"done flag 2", with(SIM_STATE_HEADER_BYTES + SIM_STATE_CARD_BYTES + 8, 2), "card 2 of the state file is damaged"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        write_all(path_, k.bytes);
        SimEnvironment env;
        env.state = path_.c_str();
        env.cards = "cardbus:3";
        SimConfig c;
        SimMessage message{};
        EXPECT_FALSE(sim_parse_environment(env, &c, &message));
        EXPECT_NE(std::string(message.text).find(std::string("MOLA_SIM_STATE=") + path_ + ": "), std::string::npos);
        EXPECT_NE(std::string(message.text).find(k.message), std::string::npos) << message.text;
        EXPECT_EQ(sim_state_card(0), nullptr);
        EXPECT_EQ(read_all(path_), k.bytes);
    }
}

} // namespace
