// Standard output through a cookie stream into the log check.
#include "fuzz/log_capture.h"

#include <cstdio>

namespace {

std::FILE* Saved = nullptr;
std::FILE* Capture = nullptr;
LogCheck* Check = nullptr;

// Room for the longest line, so that line buffering hands over whole lines, each before the
// register accesses that follow it.
char Buffer[LOG_LINE_MAX + 256];

ssize_t capture_write(void*, const char* text, std::size_t length)
{
    if (Check) {
        log_check_text(Check, text, length);
    }
    return static_cast<ssize_t>(length);
}

} // namespace

void log_capture_begin(LogCheck* check)
{
    if (!Capture) {
        cookie_io_functions_t io{};
        io.write = capture_write;
        Capture = fopencookie(nullptr, "w", io);
        std::setvbuf(Capture, Buffer, _IOLBF, sizeof Buffer);
    }
    std::fflush(stdout);
    Check = check;
    Saved = stdout;
    stdout = Capture;
}

void log_capture_end()
{
    std::fflush(Capture);
    stdout = Saved;
    Check = nullptr;
}
