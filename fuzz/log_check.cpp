// Checks of the diagnostic log, line by line as the player writes it.
#include "fuzz/log_check.h"

#include <algorithm>

#include "xsvf/player.h"

namespace {

// Bytes of a line kept for the checks of the closing lines.
constexpr std::size_t KEPT = 128;

void fail(LogCheck* c, const std::string& what)
{
    if (c->finding.empty()) {
        c->finding = "log: " + what;
    }
}

bool is_command_name_line(const std::string& line)
{
    // Detail lines, indented by three blanks or more, are most lines: they are told apart first.
    return line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ' &&
           std::any_of(XSVF_COMMANDS.begin(), XSVF_COMMANDS.end(),
                       [&](const SXsvfCommand& c) { return line.compare(2, std::string::npos, c.name) == 0; });
}

void end_segment(LogCheck* c)
{
    const std::uint64_t pulses = *c->pulses - c->segment_pulses;
    const std::uint64_t bound = c->level >= 2 ? LOG_COMMAND_LINES + LOG_LINES_PER_PULSE * pulses : LOG_QUIET_LINES;
    if (c->segment_lines > bound) {
        fail(c, std::to_string(c->segment_lines) + " lines for one command with " + std::to_string(pulses) +
                    " TCK pulses (bound " + std::to_string(bound) + ")");
    }
}

void end_line(LogCheck* c)
{
    const std::size_t indent = std::min(c->line.find_first_not_of(' '), c->line.size());
    if (static_cast<std::int64_t>(indent) > c->level) {
        fail(c, "a line indented by " + std::to_string(indent) + " at LogLevel " + std::to_string(c->level) + ": " +
                    c->line);
    }
    if (c->line_length > LOG_LINE_MAX) {
        fail(c, "a line of " + std::to_string(c->line_length) + " bytes");
    }
    if (c->line.compare(0, 5, "ERROR") == 0) {
        c->error_line_seen = true;
    }
    if (c->level >= 2 && is_command_name_line(c->line)) {
        end_segment(c);
        ++c->command_names;
        c->segment_lines = 0;
        c->segment_pulses = *c->pulses;
    }
    ++c->lines;
    ++c->segment_lines;
    c->line_before = std::move(c->last_line);
    c->last_line = std::move(c->line);
    c->line.clear();
    c->line_length = 0;
}

} // namespace

void log_check_begin(LogCheck* check, std::int32_t level, const std::uint64_t* pulses)
{
    *check = LogCheck{};
    check->level = level;
    check->pulses = pulses;
}

void log_check_text(LogCheck* c, const char* text, std::size_t length)
{
    if (c->silenced || length == 0) {
        return;
    }
    if (c->level < 0) {
        fail(c, "printed at LogLevel " + std::to_string(c->level));
    }
    c->bytes += length;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            end_line(c);
        } else {
            if (c->line.size() < KEPT) {
                c->line += text[i];
            }
            ++c->line_length;
        }
    }
    if (c->bytes > LOG_BUDGET) {
        c->silenced = true;
        LogLevel = -1;
    }
}

void log_check_end(LogCheck* c, std::int32_t result, long command, bool complete)
{
    if (c->silenced) {
        return;
    }
    end_segment(c);
    if (!complete || c->level < 0) {
        return;
    }
    if (c->line_length != 0) {
        fail(c, "the log ends inside a line");
    }
    if (result == ErrNone) {
        if (c->error_line_seen) {
            fail(c, "an ERROR line in a run that succeeded");
        }
        return;
    }
    if (c->last_line != "ERROR at XSVF command #" + std::to_string(command)) {
        fail(c, "a failed run does not end with its command number " + std::to_string(command) + ": " + c->last_line);
    } else if (c->line_before != std::string("ERROR:  ") + player_error_text(result)) {
        fail(c, "the text of result " + std::to_string(result) + " is not the line before the command number: " +
                    c->line_before);
    } else if (c->level >= 2 && static_cast<std::uint64_t>(command) != c->command_names &&
               static_cast<std::uint64_t>(command) != c->command_names + 1) {
        // The failing command has a name line, unless its opcode has no name.
        fail(c, "failed at command #" + std::to_string(command) + " after " + std::to_string(c->command_names) +
                    " command names");
    }
}
