#include "sim/recording_target.h"

#include <cstdio>

#include "card/port_lines.h"

namespace {

void record(RecordingTarget* r, const RecordedEvent& e)
{
    if (r->store) {
        r->events.push_back(e);
    }
}

std::uint32_t recorder_read(void* context, std::uint32_t offset)
{
    auto* r = static_cast<RecordingTarget*>(context);
    std::uint32_t bit = r->tdo;
    if (!r->tdo_script.empty()) {
        bit = r->tdo_script[r->tdo_position] == '1' ? 1u : 0u;
        r->tdo_position = (r->tdo_position + 1) % r->tdo_script.size();
    }
    const std::uint32_t value = port_status_word_of(static_cast<int>(bit));
    record(r, RecordedEvent{'R', offset, value});
    return value;
}

void recorder_write(void* context, std::uint32_t offset, std::uint32_t value)
{
    auto* r = static_cast<RecordingTarget*>(context);
    ++r->writes;
    record(r, RecordedEvent{'W', offset, value});
}

void recorder_sleep(void* context, std::uint32_t milliseconds)
{
    auto* r = static_cast<RecordingTarget*>(context);
    record(r, RecordedEvent{'S', 0, milliseconds});
}

} // namespace

SimTarget recording_target(RecordingTarget* recorder)
{
    return SimTarget{recorder, recorder_read, recorder_write, recorder_sleep};
}

std::string recorded_event_text(const RecordedEvent& e)
{
    char line[32];
    if (e.kind == 'S') {
        std::snprintf(line, sizeof line, "S %u", static_cast<unsigned>(e.value));
    } else {
        std::snprintf(line, sizeof line, "%c %03x %08x", e.kind, static_cast<unsigned>(e.offset),
                      static_cast<unsigned>(e.value));
    }
    return line;
}
