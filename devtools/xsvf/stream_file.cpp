// Loading a stream for the xsvf tool: a file, or one of the embedded programs. A file that
// cannot be used is refused with the reason: missing, a directory, too large, not
// permitted, or a read that failed.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "devtools/xsvf/xsvf_tool.h"
#include "images/image_source.h"

namespace {

bool refuse(const char* name, const char* why)
{
    std::fprintf(stderr, "xsvf: cannot read %s: %s\n", name, why);
    return false;
}

const std::string TOO_LARGE = "it is larger than " + std::to_string(MAX_FILE_BYTES) + " bytes, the most a stream may have";

} // namespace

bool xsvf_load(const char* name, Stream* s)
{
    if (name[0] == '@') {
        const int model = card_model_by_key(name + 1);
        if (model < 0) {
            std::fprintf(stderr, "xsvf: no embedded program %s (there are %s)\n", name,
                         sim_model_keys("@", " and ").c_str());
            return false;
        }
        s->bytes = image_program(static_cast<CardModel>(model));
        s->length = IMAGE_LENGTH;
        return true;
    }
    // A directory is named as such: opening or reading one fails with a less plain reason.
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) {
        return refuse(name, "it is a directory");
    }
    errno = 0;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) {
        return refuse(name, errno != 0 ? std::strerror(errno) : "it cannot be opened");
    }
    // Read to the end, refused as soon as it passes the limit.
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        s->owned.insert(s->owned.end(), buffer, buffer + n);
        if (s->owned.size() > MAX_FILE_BYTES) {
            std::fclose(f);
            return refuse(name, TOO_LARGE.c_str());
        }
    }
    const int read_errno = errno;
    const bool error = std::ferror(f) != 0;
    std::fclose(f);
    if (error) {
        return refuse(name, read_errno != 0 ? std::strerror(read_errno) : "a read failed");
    }
    s->bytes = s->owned.data();
    s->length = static_cast<std::uint32_t>(s->owned.size());
    return true;
}
