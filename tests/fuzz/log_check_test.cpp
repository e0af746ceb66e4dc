// The log checks of the fuzz targets: what each bound lets through and what it reports.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/log_check.h"
#include "xsvf/player.h"

namespace {

struct Case {
    const char* what;
    std::int32_t level;
    std::string text;
    std::uint64_t pulses;   // TCK pulses before the text
    std::int32_t result;
    const char* finding;    // start of the expected finding, "" for none
    long command = 1;       // the failing command, as the player holds it
};

std::string lines(std::uint64_t n, const std::string& line)
{
    std::string s;
    for (std::uint64_t i = 0; i < n; ++i) {
        s += line;
    }
    return s;
}

const std::string failed_unsupported = "ERROR:  Encountered unsupported command #5 (Reserved5)\n"
                                       "ERROR:  Unsupported XSVF command\nERROR at XSVF command #1\n";
const std::string vector_line = "    TDI          = 0x" + std::string(2 * MAX_LEN, 'a') + "\n";

TEST(LogCheck, LinesCommandsAndClosingLines)
{
    const Case cases[] = {
        {"silent run", 0, "", 0, 0, ""},
        {"closing lines of a failure", 0, failed_unsupported, 0, 4, ""},
        {"anything below level 0", -1, "ERROR:  x\n", 0, 4, "log: printed at LogLevel -1"},
        {"indentation above the level", 2, "   TAP State = RESET\n", 0, 0, "log: a line indented by 3"},
        {"the longest vector line", 4, vector_line, 0, 0, ""},
        {"a vector of one byte more", 4, "    TDI          = 0x" + std::string(2 * MAX_LEN + 128, 'a') + "\n", 0, 0,
         "log: a line of"},
        {"quiet levels: six lines", 1, lines(3, " TDO Mask     = 0x00\n") + "x\nERROR:  TDO mismatch\nERROR at XSVF command #1\n",
         0, 2, ""},
        {"quiet levels: seven lines", 1, lines(4, " TDO Mask     = 0x00\n") + "x\nERROR:  TDO mismatch\nERROR at XSVF command #1\n",
         0, 2, "log: 7 lines for one command"},
        {"a command at its line bound", 3, "  XSDR\n" + lines(LOG_COMMAND_LINES - 1, "   Wait = 1 usec\n"), 0, 0, ""},
        {"a command one line over", 3, "  XSDR\n" + lines(LOG_COMMAND_LINES, "   Wait = 1 usec\n"), 0, 0,
         "log: 1041 lines for one command with 0 TCK pulses"},
        {"the lines of the name line of the next command are its own", 3,
         "  XSDR\n" + lines(LOG_COMMAND_LINES - 1, "   Wait = 1 usec\n") + "  XCOMPLETE\n", 0, 0, ""},
        {"a failure without its command number", 0, "ERROR:  Unsupported XSVF command\n", 0, 4,
         "log: a failed run does not end with its command number"},
        {"a failure with the text of another result", 0, "ERROR:  TDO mismatch\nERROR at XSVF command #1\n", 0, 4,
         "log: the text of result 4"},
        {"a success with an error line", 0, "ERROR:  TDO mismatch\n", 0, 0, "log: an ERROR line in a run that succeeded"},
        {"a log ending inside a line", 0, "ERROR at XSVF command #1", 0, 0, "log: the log ends inside a line"},
        {"a failing command number beyond the names", 2,
         "  XSDR\nERROR:  TDO mismatch\nERROR at XSVF command #3\n", 0, 2, "log: failed at command #3 after 1", 3},
        {"a closing line with another number than the player's", 0, "ERROR:  TDO mismatch\nERROR at XSVF command #1\n",
         0, 2, "log: a failed run does not end with its command number 2", 2},
        {"an unnamed failing opcode after the names", 2,
         "  XREPEAT\nERROR:  Encountered unsupported command #200 (Unknown)\nERROR:  Unsupported XSVF command\n"
         "ERROR at XSVF command #2\n", 0, 4, "", 2},
    };
    for (const Case& c : cases) {
        std::uint64_t pulses = c.pulses;
        LogCheck check;
        log_check_begin(&check, c.level, &pulses);
        log_check_text(&check, c.text.data(), c.text.size());
        log_check_end(&check, c.result, c.command, true);
        EXPECT_EQ(check.finding.substr(0, std::string(c.finding).size()), c.finding) << c.what << ": " << check.finding;
        if (*c.finding == '\0') {
            EXPECT_EQ(check.finding, "") << c.what;
        }
    }
}

TEST(LogCheck, TckPulsesWidenTheBoundOfTheirCommand)
{
    std::uint64_t pulses = 0;
    LogCheck check;
    log_check_begin(&check, 3, &pulses);
    const std::string name = "  XSDR\n";
    log_check_text(&check, name.data(), name.size());
    pulses += 3; // two more lines allowed for each pulse
    const std::string body = lines(LOG_COMMAND_LINES - 1 + 2 * 3, "   TAP State = SHIFTDR\n");
    log_check_text(&check, body.data(), body.size());
    log_check_end(&check, 0, 0, true);
    EXPECT_EQ(check.finding, "");
    EXPECT_EQ(check.command_names, 1u);

    const std::string one_more = "   TAP State = SHIFTDR\n";
    log_check_text(&check, one_more.data(), one_more.size());
    log_check_end(&check, 0, 0, true);
    EXPECT_EQ(check.finding, "log: 1047 lines for one command with 3 TCK pulses (bound 1046)");
}

TEST(LogCheck, TextSplitAnywhereIsJudgedByWholeLines)
{
    std::uint64_t pulses = 0;
    LogCheck check;
    log_check_begin(&check, 0, &pulses);
    for (const char ch : failed_unsupported) {
        log_check_text(&check, &ch, 1);
    }
    log_check_end(&check, 4, 1, true);
    EXPECT_EQ(check.finding, "");
    EXPECT_EQ(check.lines, 3u);
}

TEST(LogCheck, ALogOverItsBudgetSilencesThePlayerAndIsNotJudgedFurther)
{
    const std::int32_t saved = LogLevel;
    LogLevel = 4;
    std::uint64_t pulses = 0;
    LogCheck check;
    log_check_begin(&check, 4, &pulses);
    std::uint64_t written = 0;
    while (!check.silenced) {
        log_check_text(&check, vector_line.data(), vector_line.size());
        written += vector_line.size();
    }
    EXPECT_GT(written, LOG_BUDGET);
    EXPECT_LE(written, LOG_BUDGET + vector_line.size());
    EXPECT_EQ(LogLevel, -1);
    const std::string bad = "      too deep\n";
    log_check_text(&check, bad.data(), bad.size());
    log_check_end(&check, 4, 1, true);
    EXPECT_EQ(check.finding, "");
    LogLevel = saved;
}

} // namespace
