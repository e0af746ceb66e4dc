#include "devtools/xsvf/trace_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

int last_error()
{
    return errno != 0 ? errno : EIO;
}

} // namespace

bool trace_file_writable(const char* path)
{
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    errno = 0;
    std::FILE* f = std::fopen(path, "ab"); // creates a missing file, changes no existing one
    if (!f) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", path, std::strerror(last_error()));
        return false;
    }
    std::fclose(f);
    if (!existed) {
        std::remove(path);
    }
    return true;
}

void trace_file_line(void* context, const RecordedEvent& event)
{
    auto* trace = static_cast<TraceFile*>(context);
    if (!trace->file) {
        if (trace->error != 0) {
            return;
        }
        errno = 0;
        trace->file = std::fopen(trace->path, "w");
        if (!trace->file) {
            trace->error = last_error();
            return;
        }
    }
    const std::string line = recorded_event_text(event);
    std::fputs(line.c_str(), trace->file);
    std::fputc('\n', trace->file);
}

bool trace_file_close(TraceFile* trace)
{
    if (trace->file) {
        errno = 0;
        const bool written = std::ferror(trace->file) == 0;
        const bool closed = std::fclose(trace->file) == 0;
        trace->file = nullptr;
        if ((!written || !closed) && trace->error == 0) {
            trace->error = last_error();
        }
    }
    if (trace->error != 0) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", trace->path, std::strerror(trace->error));
        return false;
    }
    return true;
}

SimTarget trace_tee_target(TraceTee* tee)
{
    SimTarget t;
    t.context = tee;
    t.read = [](void* c, std::uint32_t offset) {
        auto* tt = static_cast<TraceTee*>(c);
        const std::uint32_t v = tt->inner.read ? tt->inner.read(tt->inner.context, offset) : 0xFFFFFFFFu;
        tt->seen(tt->watcher, {'R', offset, v});
        return v;
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* tt = static_cast<TraceTee*>(c);
        if (tt->inner.write) {
            tt->inner.write(tt->inner.context, offset, value);
        }
        tt->seen(tt->watcher, {'W', offset, value});
    };
    t.sleep = [](void* c, std::uint32_t ms) {
        auto* tt = static_cast<TraceTee*>(c);
        if (tt->inner.sleep) {
            tt->inner.sleep(tt->inner.context, ms);
        }
        tt->seen(tt->watcher, {'S', 0, ms});
    };
    return t;
}
