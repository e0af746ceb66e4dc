#include "sim/recording_target.h"

#include "card/port_registers.h"

namespace {

constexpr std::uint32_t TDO_HIGH = 1u << PORT_TDO_BIT;

void record(RecordingTarget* r, const RecordedEvent& e)
{
    if (r->store) {
        r->events.push_back(e);
    }
    if (r->trace) {
        const std::string line = recorded_event_text(e);
        std::fputs(line.c_str(), r->trace);
        std::fputc('\n', r->trace);
    }
}

std::uint32_t recorder_read(void* context, std::uint32_t offset)
{
    auto* r = static_cast<RecordingTarget*>(context);
    ++r->reads;
    std::uint32_t bit = r->tdo;
    if (!r->tdo_script.empty()) {
        bit = r->tdo_script[r->tdo_position] == '1' ? 1u : 0u;
        r->tdo_position = (r->tdo_position + 1) % r->tdo_script.size();
    }
    const std::uint32_t value = bit ? TDO_HIGH : 0u;
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
    ++r->sleeps;
    r->slept_ms += milliseconds;
    record(r, RecordedEvent{'S', 0, milliseconds});
}

} // namespace

SimTarget recording_target(RecordingTarget* recorder)
{
    SimTarget t;
    t.context = recorder;
    t.read = recorder_read;
    t.write = recorder_write;
    t.sleep = recorder_sleep;
    return t;
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
