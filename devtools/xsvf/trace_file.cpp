#include "devtools/xsvf/trace_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
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
    if (!trace->file && trace->error == 0) {
        errno = 0;
        trace->file = std::fopen(trace->path, "w");
        trace->error = trace->file ? 0 : last_error();
    }
    if (trace->file) {
        std::fprintf(trace->file, "%s\n", recorded_event_text(event).c_str());
    }
}

bool trace_file_close(TraceFile* trace)
{
    if (trace->file) {
        errno = 0;
        const bool written = std::ferror(trace->file) == 0;
        if (std::fclose(trace->file) != 0 || !written) {
            trace->error = last_error();
        }
    }
    if (trace->error != 0) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", trace->path, std::strerror(trace->error));
        return false;
    }
    return true;
}
