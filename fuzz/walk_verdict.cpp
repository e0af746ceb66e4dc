// Comparison of the walker's verdict with the player's.
#include "fuzz/walk_verdict.h"

#include "xsvf/command_set.h"

namespace {

std::string played_text(const PlayReport& p)
{
    return "the player: result " + std::to_string(p.result) + " at command #" + std::to_string(p.failed_command) +
           " after " + std::to_string(p.bytes_read) + " bytes";
}

std::string walked_text(const WalkResult& w)
{
    return "the walker: result " + std::to_string(w.result) + " at command #" + std::to_string(w.error_command) +
           " after " + std::to_string(w.bytes_played) + " bytes (" + w.error + ")";
}

std::string mismatch_finding(const PlayReport& p, const WalkedStream& walked)
{
    const WalkResult& w = walked.result;
    if (p.failed_command < 1) {
        return ""; // the log was silenced: the number is unknown
    }
    if (!w.ok && w.error_command <= p.failed_command) {
        return "walk: the player compared at a command the walker does not reach; " + played_text(p) + ", " +
               walked_text(w);
    }
    const WalkedCommand& c = walked.commands[static_cast<std::size_t>(p.failed_command - 1)];
    if (!cmd_row(c.opcode).compares) {
        return "walk: a TDO mismatch in " + std::string(player_command_name(c.opcode)) + "; " + played_text(p);
    }
    if (p.bytes_read <= c.offset || p.bytes_read > c.offset + c.size) {
        return "walk: the player stopped outside the command that mismatched (" + std::to_string(c.offset) + " + " +
               std::to_string(c.size) + " bytes); " + played_text(p);
    }
    return "";
}

} // namespace

std::string walk_verdict_finding(std::span<const std::uint8_t> stream, const PlayReport& p, const WalkedStream& walked)
{
    const WalkResult& w = walked.result;
    if (p.abandoned) {
        return p.bytes_read > w.bytes_played
                   ? "walk: the player read beyond where the walker stops; " + played_text(p) + ", " + walked_text(w)
                   : "";
    }
    if (p.result == ErrTdoMismatch || p.result == ErrTdoMismatchRetries) {
        return mismatch_finding(p, walked);
    }
    const bool number_known = p.result == ErrNone || p.failed_command >= 1;
    const long played_command = p.result == ErrNone ? 0 : p.failed_command;
    if (w.result != p.result || w.bytes_played != p.bytes_read || (number_known && w.error_command != played_command)) {
        return "walk: different verdicts; " + played_text(p) + ", " + walked_text(w);
    }
    if (w.ok && w.bytes_played + w.trailing != stream.size()) {
        return "walk: " + std::to_string(w.bytes_played) + " bytes played and " + std::to_string(w.trailing) +
               " trailing in a stream of " + std::to_string(stream.size());
    }
    return "";
}
