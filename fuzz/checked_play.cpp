// One checked play of a stream: the played run with its work and log checks, then the
// reference run that shows whether anything happened after the stream ran out.
#include "fuzz/checked_play.h"

#include <cstdio>
#include <vector>

#include "card/port.h"
#include "fuzz/log_check.h"
#include "images/image_source.h"
#include "sim/sim_platform.h"
#include "sim/ui_recording.h"
#include "xsvf/commands.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

namespace {

// The byte after the stream in the reference run: no command has this opcode.
constexpr std::uint8_t REFERENCE_EXTRA_BYTE = 0xFF;

// Standard output goes through a cookie stream into the log check while a run plays, line by
// line and in order with the run's register accesses (glibc only, like the fuzz targets).
// Room for the longest line, so that line buffering hands over whole lines, each before the
// register accesses that follow it.
char CaptureBuffer[LOG_LINE_MAX + 256];

ssize_t capture_write(void* check, const char* text, std::size_t length)
{
    log_check_text(static_cast<LogCheck*>(check), text, length);
    return static_cast<ssize_t>(length);
}

// Between begin and end, everything written to stdout goes to the check instead; begin
// returns the stdout that end puts back.
std::FILE* log_capture_begin(LogCheck* check)
{
    std::fflush(stdout);
    std::FILE* const saved = stdout;
    cookie_io_functions_t io{};
    io.write = capture_write;
    stdout = fopencookie(check, "w", io);
    std::setvbuf(stdout, CaptureBuffer, _IOLBF, sizeof CaptureBuffer);
    return saved;
}

void log_capture_end(std::FILE* saved)
{
    std::fclose(stdout); // hands the rest to the check
    stdout = saved;
}

void prepare_card(const SimTarget& target)
{
    static bool configured = false;
    if (!configured) {
        SimConfig c;
        c.card_count = 1;
        sim_configure(c);
        configured = true;
    }
    sim_attach_target(0, target);
    sim_map_directly(0);
    PortShadow = PORT_SHADOW_INITIAL;
    RecordedMessages.clear();
    // The update sequence positions the reader only after its first register write, which
    // the targets already judge by the reader's position.
    ImageReadIndex = 0;
}

// Plays the stream followed by one more byte, at LogLevel -1, and compares.
void check_against_reference(std::span<const std::uint8_t> stream, const CheckedPlayOptions& options,
                             const PlayedWork& played, PlayReport* report)
{
    std::vector<std::uint8_t> longer(stream.begin(), stream.end());
    longer.push_back(REFERENCE_EXTRA_BYTE);
    const auto length = static_cast<std::uint32_t>(stream.size());

    ReferenceWork work;
    work.recorder.tdo_script = options.tdo;
    work.played_length = length;
    work.played_events = played.ledger.events;
    work.played_abandoned = report->abandoned;
    work.budget = options.budget;
    prepare_card(reference_work_target(&work));
    LogLevel = -1;

    try {
        work.result = player_run_program(longer.data(), length + 1, nullptr);
    } catch (const RunStop&) {
        work.ended = false; // where it ran out, it had read past the played stream
    }
    work.bytes_read = ImageReadIndex;
    work.ran_out = ImageReadIndex > length;
    report->reference_ran_out = work.ran_out;
    report->finding = reference_finding(*report, played.ledger.hash, work);
}

// The properties of the played run's end.
void check_result(std::span<const std::uint8_t> stream, PlayReport* report)
{
    if (report->result < 0 || report->result >= XSVF_ERROR_COUNT) {
        report->finding = "result: " + std::to_string(report->result) + " is no player result";
    } else if (report->result == ErrNone &&
               (report->bytes_read == 0 || report->bytes_read > stream.size() ||
                stream[report->bytes_read - 1] != XCOMPLETE)) {
        report->finding = "result: success without XCOMPLETE as the last byte read (" +
                          std::to_string(report->bytes_read) + " of " + std::to_string(stream.size()) + ")";
    }
}

} // namespace

std::string reference_finding(const PlayReport& played, std::uint64_t played_hash, const ReferenceWork& ref)
{
    const std::string counts = " (played run " + std::to_string(played.events) + " events, reference " +
                               std::to_string(ref.ledger.events) + ")";
    if (!ref.reached_played_events) {
        return ref.ran_out ? "end: the card was worked after the stream ran out" + counts
                           : "end: the played run did more than the same bytes in the reference" + counts;
    }
    if (ref.hash_at_played_events != played_hash) {
        return "end: the register accesses differ from the reference's" + counts;
    }
    if (played.abandoned) {
        return "";
    }
    if (ref.ran_out) {
        return played.result == ErrStreamEnded ? ""
                                               : "end: a stream that ran out ended with result " +
                                                     std::to_string(played.result);
    }
    if (ref.overran || !ref.ended) {
        // Right only where the played run refused a cut-off command that the reference began.
        return played.result == ErrStreamEnded
                   ? ""
                   : "end: the played run stopped where the same bytes go on working inside the stream" + counts;
    }
    if (ref.result != played.result || ref.bytes_read != played.bytes_read) {
        return "end: result " + std::to_string(played.result) + " after " + std::to_string(played.bytes_read) +
               " bytes, the reference " + std::to_string(ref.result) + " after " + std::to_string(ref.bytes_read);
    }
    return "";
}

CheckedPlayOptions play_options_for(std::size_t length)
{
    static const char* const tdo[] = {"0", "1", "0010111"};
    CheckedPlayOptions o;
    o.log_level = static_cast<std::int32_t>(length % 6) - 1;
    o.tdo = tdo[(length / 6) % 3];
    return o;
}

PlayReport checked_play(std::span<const std::uint8_t> stream, const CheckedPlayOptions& options)
{
    PlayReport report;
    const std::int32_t saved_level = LogLevel;

    PlayedWork played;
    played.recorder.tdo_script = options.tdo;
    played.stream = stream.data();
    played.length = static_cast<std::uint32_t>(stream.size());
    played.budget = options.budget;
    prepare_card(played_work_target(&played));

    LogCheck log;
    log_check_begin(&log, options.log_level, &played.ledger.pulses);
    LogLevel = options.log_level;
    std::FILE* const saved_stdout = log_capture_begin(&log);
    try {
        report.result = player_run_program(stream.data(), played.length, nullptr);
    } catch (const RunStop& s) {
        report.abandoned = s.reason == StopReason::Budget;
    }
    log_capture_end(saved_stdout);
    report.bytes_read = ImageReadIndex;
    report.events = played.ledger.events;

    if (!played.finding.empty()) {
        report.finding = played.finding;
    } else {
        if (!report.abandoned && report.result != ErrNone) {
            report.failed_command = LastCommandNumber;
        }
        log_check_end(&log, report.result, report.failed_command, !report.abandoned);
        report.finding = log.finding;
        report.log_lines = log.lines;
    }
    if (report.finding.empty() && !report.abandoned) {
        check_result(stream, &report);
    }
    if (report.finding.empty()) {
        check_against_reference(stream, options, played, &report);
    }
    LogLevel = saved_level;
    return report;
}
