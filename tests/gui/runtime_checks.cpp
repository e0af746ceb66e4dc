// Checks of how an executable writes its standard output: its subsystem and the library that
// provides its output stream, read from the file's import table.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "devtools/sheet_driver/sheet_driver.h"
#include "tests/gui/gui_checks.h"

namespace {

constexpr std::uint16_t PE32 = 0x10B;
constexpr std::uint16_t PE32_PLUS = 0x20B;
constexpr std::uint16_t SUBSYSTEM_WINDOWS_GUI = 2;

struct PeImage {
    std::vector<std::uint8_t> bytes;
    bool bad = false;

    std::uint32_t get(std::size_t offset, int size)
    {
        if (offset + static_cast<std::size_t>(size) > bytes.size()) {
            bad = true;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i) {
            v = (v << 8) | bytes[offset + static_cast<std::size_t>(i)];
        }
        return v;
    }
    std::string text(std::size_t offset)
    {
        std::string s;
        while (offset < bytes.size() && bytes[offset] != 0) {
            s += static_cast<char>(bytes[offset++]);
        }
        return s;
    }
};

struct Section {
    std::uint32_t address;
    std::uint32_t size;
    std::uint32_t file_offset;
};

std::string lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// The imported names of the image, each with its library's name in lower case.
std::map<std::string, std::string> imports(PeImage& pe, std::uint16_t* subsystem)
{
    std::map<std::string, std::string> found;
    const std::uint32_t header = pe.get(0x3C, 4);
    if (pe.get(header, 4) != 0x00004550) {
        pe.bad = true;
        return found;
    }
    const std::uint32_t sections = pe.get(header + 6, 2);
    const std::uint32_t optional = header + 24;
    const std::uint32_t optional_size = pe.get(header + 20, 2);
    const auto magic = static_cast<std::uint16_t>(pe.get(optional, 2));
    *subsystem = static_cast<std::uint16_t>(pe.get(optional + 68, 2));
    const std::uint32_t directories = optional + (magic == PE32_PLUS ? 112 : 96);
    const std::uint32_t import_rva = pe.get(directories + 8, 4);

    std::vector<Section> table;
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::uint32_t s = optional + optional_size + i * 40;
        const std::uint32_t virtual_size = pe.get(s + 8, 4);
        const std::uint32_t raw_size = pe.get(s + 16, 4);
        table.push_back({pe.get(s + 12, 4), virtual_size > raw_size ? virtual_size : raw_size, pe.get(s + 20, 4)});
    }
    auto file_offset = [&](std::uint32_t rva) -> std::size_t {
        for (const Section& s : table) {
            if (rva >= s.address && rva < s.address + s.size) {
                return s.file_offset + (rva - s.address);
            }
        }
        pe.bad = true;
        return pe.bytes.size();
    };

    const int thunk_size = magic == PE32_PLUS ? 8 : 4;
    for (std::size_t d = file_offset(import_rva); !pe.bad; d += 20) {
        const std::uint32_t names = pe.get(d, 4);
        const std::uint32_t library = pe.get(d + 12, 4);
        const std::uint32_t thunks = pe.get(d + 16, 4);
        if (library == 0) {
            break;
        }
        const std::string dll = lower(pe.text(file_offset(library)));
        const auto step = static_cast<std::size_t>(thunk_size);
        for (std::size_t t = file_offset(names != 0 ? names : thunks); !pe.bad; t += step) {
            const std::uint32_t low = pe.get(t, 4);
            const std::uint32_t high = thunk_size == 8 ? pe.get(t + 4, 4) : 0;
            if (low == 0 && high == 0) {
                break;
            }
            const bool by_ordinal = thunk_size == 8 ? (high & 0x80000000u) != 0 : (low & 0x80000000u) != 0;
            if (!by_ordinal) {
                found[pe.text(file_offset(low) + 2)] = dll;
            }
        }
    }
    return found;
}

} // namespace

void check_output_runtime(const std::string& path, const std::string& exe)
{
    std::ifstream in(path, std::ios::binary);
    PeImage pe{std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {})};
    std::uint16_t subsystem = 0;
    const std::map<std::string, std::string> names = imports(pe, &subsystem);
    if (pe.bytes.empty() || pe.bad) {
        check_failed("%s: cannot read its import table", exe.c_str());
        return;
    }
    expect_int(exe + " subsystem", subsystem, SUBSYSTEM_WINDOWS_GUI);
    // The standard streams are __iob_func() on 64-bit and the _iob array on 32-bit.
    const auto stream = names.count("__iob_func") != 0 ? names.find("__iob_func") : names.find("_iob");
    expect_text(exe + " standard output stream from", stream != names.end() ? stream->second : "nowhere",
                "msvcrt.dll");
    for (const char* function : {"fwrite", "fflush"}) {
        const auto it = names.find(function);
        expect_text(exe + " " + function + " from", it != names.end() ? it->second : "nowhere", "msvcrt.dll");
    }
}
