// Loading a stream for the xsvf tool: a file, or one of the embedded programs.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "devtools/xsvf/xsvf_tool.h"
#include "images/image_source.h"

bool xsvf_load(const char* name, Stream* s)
{
    if (name[0] == '@') {
        const int model = card_model_by_key(name + 1);
        if (model < 0) {
            std::fprintf(stderr, "xsvf: no embedded program %s (there are %s)\n", name,
                         xsvf_model_keys("@", " and ").c_str());
            return false;
        }
        s->embedded = true;
        s->model = static_cast<CardModel>(model);
        s->bytes = image_program(s->model);
        s->length = IMAGE_LENGTH;
        return true;
    }
    std::FILE* f = std::fopen(name, "rb");
    if (!f) {
        std::fprintf(stderr, "xsvf: cannot open %s: %s\n", name, std::strerror(errno));
        return false;
    }
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        s->owned.insert(s->owned.end(), buffer, buffer + n);
        if (s->owned.size() > static_cast<std::size_t>(MAX_FILE_BYTES)) {
            std::fclose(f);
            std::fprintf(stderr, "xsvf: %s is larger than %ld bytes\n", name, MAX_FILE_BYTES);
            return false;
        }
    }
    const bool error = std::ferror(f) != 0;
    std::fclose(f);
    if (error) {
        std::fprintf(stderr, "xsvf: cannot read %s\n", name);
        return false;
    }
    s->bytes = s->owned.data();
    s->length = static_cast<std::uint32_t>(s->owned.size());
    return true;
}

std::span<const std::uint8_t> xsvf_bytes(const Stream& s)
{
    return {s.bytes, s.length};
}

std::string xsvf_model_keys(const char* prefix, const char* separator)
{
    std::string keys;
    for (const SCardModel& m : CARD_MODELS) {
        keys += (keys.empty() ? "" : separator) + std::string(prefix) + m.key;
    }
    return keys;
}
