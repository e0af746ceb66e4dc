// The update as the card page runs it, against the simulated platform: the machine is held for
// exactly the length of the update, whatever its end, and the thread answers its windows often
// enough in the card's own time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/card_update.h"
#include "app/failure_message.h"
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

    std::int32_t update(CardModel model, const char* fault, CardModel card_model)
    {
        Answers.clear();
        SimConfig c = sim_default_config();
        c.card_count = 2;
        c.cards[1].model = card_model;
        SimMessage message{};
        if (fault != nullptr) {
            EXPECT_TRUE(sim_add_fault(&c, fault, 1, &message)) << message.text;
        }
        sim_configure(c);
        return app_update_card(1, model, nullptr, SHEET);
    }
    std::int32_t update(CardModel model, const char* fault) { return update(model, fault, model); }
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

TEST_F(CardUpdateTest, AfterFailedThePersonReadsWhyWhetherTheCardChangedAndWhatToDo)
{
    const std::string unchanged = "Nothing on the card was changed.\n\n";
    const std::string driver = "Check that the card sits firmly in its slot and that its driver is installed and "
                               "working, then press Update again.";
    const std::string incomplete = "The card's logic may be incomplete now. Do not switch the computer off before "
                                   "an update of this card has succeeded.\n\nPress Update again. If it fails "
                                   "again, keep the computer on and see \"After Failed\" in the user's guide.";
    struct Case {
        CardModel chosen;
        CardModel card;
        const char* fault;
        std::string message;
    } const cases[] = {
        {CARD_MODEL_PCI, CARD_MODEL_CARDBUS, nullptr,
         "The card did not answer as a PCI card.\n\n" + unchanged +
             "A PCI card needs PCI and a CardBus card needs CardBus. If this is a CardBus card, choose CardBus and "
             "press Update again."},
        {CARD_MODEL_CARDBUS, CARD_MODEL_PCI, nullptr,
         "The card did not answer as a CardBus card.\n\n" + unchanged +
             "A PCI card needs PCI and a CardBus card needs CardBus. If this is a PCI card, choose PCI and press "
             "Update again."},
        {CARD_MODEL_PCI, CARD_MODEL_PCI, "map-fails",
         "The card's driver could not give this tool access to the card.\n\n" + unchanged + driver},
        {CARD_MODEL_PCI, CARD_MODEL_PCI, "card-info-fails",
         "The card could not be reached through its driver.\n\n" + unchanged + driver},
        {CARD_MODEL_CARDBUS, CARD_MODEL_CARDBUS, "vanish",
         "The card stopped answering during the update, or what was written to it could not be verified.\n\n" +
             incomplete},
    };
    char message[FAILURE_MESSAGE_SIZE];
    for (const Case& k : cases) {
        const std::int32_t result = update(k.chosen, k.fault, k.card);
        app_failure_message(message, sizeof message, 1, k.chosen, result);
        EXPECT_EQ(message, "Card 2 was not updated.\n\n" + k.message) << (k.fault ? k.fault : "wrong interface");
    }
    // The player's own errors, which the embedded programs never meet.
    app_failure_message(message, sizeof message, 5, CARD_MODEL_PCI, ErrUnsupportedCommand);
    EXPECT_EQ(message, "Card 6 was not updated.\n\nThe update stopped on an error in the program it was "
                       "writing.\n\n" + incomplete);
}

} // namespace
