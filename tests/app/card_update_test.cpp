// The update as the card page runs it, against the simulated platform: the machine is held for
// exactly the length of the update, whatever its end, and the thread answers its windows often
// enough in the card's own time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/card_update.h"
#include "app/resources/resource.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "sim/ui_recording.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

namespace {

const auto SHEET = reinterpret_cast<OsWindow>(std::intptr_t{0x5ee7});

// The seam calls that hold the machine, in order, one word each.
std::string holds()
{
    std::string s;
    for (int i = 0; i < TheSimCallLog.count; ++i) {
        const SimCall& c = TheSimCallLog.calls[i];
        if (c.kind == SimCallKind::SetExecutionState) {
            s += c.code == (OS_ES_CONTINUOUS | OS_ES_SYSTEM_REQUIRED) ? "awake " : c.code == OS_ES_CONTINUOUS ? "asleep " : "?";
        } else if (c.kind == SimCallKind::BlockShutdown) {
            s += c.handle == reinterpret_cast<std::intptr_t>(SHEET) && std::string(c.path) == APP_SHUTDOWN_REASON_TEXT
                     ? "block "
                     : "block? ";
        } else if (c.kind == SimCallKind::UnblockShutdown) {
            s += c.handle == reinterpret_cast<std::intptr_t>(SHEET) ? "unblock " : "unblock? ";
        } else if (s == "awake block ") {
            s += "driver ";
        }
    }
    return s;
}

// What the thread saw each time it answered its windows.
struct Answer {
    std::uint64_t card_ns;
    std::int32_t updating;
};
std::vector<Answer> Answers;

class CardUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogLevel = -1;
        OnAnswer = [] { Answers.push_back({sim_clock_now_ns(), UpdatingCard}); };
    }
    void TearDown() override
    {
        OnAnswer = nullptr;
        LogLevel = 0;
    }

    std::int32_t update(CardModel model, const char* fault)
    {
        Answers.clear();
        SimConfig c = sim_default_config();
        c.card_count = 2;
        c.cards[1].model = model;
        SimMessage message{};
        if (fault != nullptr) {
            EXPECT_TRUE(sim_add_fault(&c, fault, 1, &message)) << message.text;
        }
        sim_configure(c);
        return app_update_card(1, model, nullptr, SHEET);
    }
};

TEST_F(CardUpdateTest, TheMachineIsHeldForTheUpdateAloneWhateverItsEnd)
{
    struct Case {
        const char* fault;
        bool reaches_card;
        std::int32_t result;
    } const cases[] = {
        {nullptr, true, ErrNone},
        {"other-model", true, ErrTdoMismatch},
        {"vanish", true, ErrTdoMismatch},
        {"tdo-stuck-1", true, ErrTdoMismatch},
        {"map-fails", false, UPDATE_NOT_MAPPED},
        {"card-info-fails", false, UPDATE_NOT_MAPPED},
        {"device-missing", false, UPDATE_NOT_MAPPED},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fault ? k.fault : "no fault");
        EXPECT_EQ(update(CARD_MODEL_CARDBUS, k.fault), k.result);
        // Held before the driver is asked anything, released after the last call.
        EXPECT_EQ(holds(), "awake block driver unblock asleep ");
        EXPECT_EQ(UpdatingCard, -1);
        EXPECT_EQ(UpdatingProgram, nullptr);
        // The windows are answered once more at the end, as the card being written.
        ASSERT_FALSE(Answers.empty());
        EXPECT_TRUE(std::all_of(Answers.begin(), Answers.end(), [](const Answer& a) { return a.updating == 1; }));
        EXPECT_EQ(Answers.size() > 1, k.reaches_card);
    }
}

TEST_F(CardUpdateTest, TheWindowsAreAnsweredAtLeastEveryQuarterSecondOfTheCardsTime)
{
    // The card's time: 200 ns per register write and the sleeps, about ten seconds an update.
    constexpr std::uint64_t MOST_NS = 250'000'000;
    for (const CardModel model : {CARD_MODEL_PCI, CARD_MODEL_CARDBUS}) {
        ASSERT_EQ(update(model, nullptr), ErrNone);
        const std::uint64_t end = sim_clock_now_ns();
        std::uint64_t longest = Answers.front().card_ns;
        for (std::size_t i = 1; i < Answers.size(); ++i) {
            longest = std::max(longest, Answers[i].card_ns - Answers[i - 1].card_ns);
        }
        EXPECT_LT(longest, MOST_NS) << card_model_of(model).name;
        EXPECT_GE(Answers.size(), 100u + 2 * TheSimClock.sleeps);
        std::printf("%s: %zu answers over %.2f s of the card's time, the longest gap %.1f ms\n",
                    card_model_of(model).name, Answers.size(), static_cast<double>(end) / 1e9,
                    static_cast<double>(longest) / 1e6);
    }
}

} // namespace
