// xsvf check, dis and cat: walking a stream without playing it, and writing out an embedded
// program; xsvf faults: the table of simulated faults.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "devtools/xsvf/stream_walk.h"
#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_fault_table.h"
#include "xsvf/command_set.h"
#include "xsvf/player.h"

namespace {

// Why the walk stopped; 1 for a stream that cannot be played. Bytes after XCOMPLETE do not
// make a stream unplayable: the player stops at XCOMPLETE and never reads them. They are worth
// a word all the same.
int report_walk(const char* name, const WalkResult& r)
{
    if (!r.ok) {
        std::fprintf(stderr, "xsvf: %s: byte offset %u, command #%d: %s\n", name,
                     static_cast<unsigned>(r.error_offset), r.error_command, r.error.c_str());
        return 1;
    }
    if (r.trailing > 0) {
        std::fprintf(stderr, "xsvf: %s: note: %u bytes after XCOMPLETE (from byte offset %u) are never played\n", name,
                     static_cast<unsigned>(r.trailing), static_cast<unsigned>(r.bytes_played));
    }
    return 0;
}

// What check counts: opcodes, and the values of each, in order of first appearance.
struct Counted {
    std::uint32_t key;
    int count = 0;
    std::vector<Counted> values;
};

// The entry of key in list, added at its end when new.
Counted& counted(std::vector<Counted>& list, std::uint32_t key)
{
    const auto at = std::find_if(list.begin(), list.end(), [&](const Counted& c) { return c.key == key; });
    return at != list.end() ? *at : list.emplace_back(Counted{key, 0, {}});
}

// The most frequent first; ties in order of first appearance.
void sort_by_count(std::vector<Counted>& list)
{
    std::stable_sort(list.begin(), list.end(), [](const Counted& a, const Counted& b) { return a.count > b.count; });
}

} // namespace

int xsvf_check(const char* name)
{
    Stream s;
    if (!xsvf_load(name, &s)) {
        return EXIT_NO_INPUT;
    }
    std::vector<Counted> opcodes;
    const WalkResult r = xsvf_walk({s.bytes, s.length}, [&](const WalkedCommand& c) {
        Counted& opcode = counted(opcodes, c.opcode);
        ++opcode.count;
        if (c.has_value) {
            ++counted(opcode.values, c.value).count;
        }
    });
    if (report_walk(name, r) != 0) {
        return 1;
    }
    std::printf("%d commands, %u bytes\n", r.commands, static_cast<unsigned>(s.length));
    sort_by_count(opcodes);
    for (Counted& opcode : opcodes) {
        const auto op = static_cast<std::uint8_t>(opcode.key);
        std::printf("%-12s %5d", player_command_name(op), opcode.count);
        if (!opcode.values.empty()) {
            sort_by_count(opcode.values);
            std::printf("  %s:", cmd_row(op).value);
            const char* sep = " ";
            for (const Counted& value : opcode.values) {
                std::printf("%s%u (%d)", sep, static_cast<unsigned>(value.key), value.count);
                sep = ", ";
            }
        }
        std::printf("\n");
    }
    return xsvf_finish_output(0);
}

int xsvf_dis(const char* name)
{
    Stream s;
    if (!xsvf_load(name, &s)) {
        return EXIT_NO_INPUT;
    }
    const WalkResult r = xsvf_walk({s.bytes, s.length}, [&](const WalkedCommand& c) {
        std::printf("%7u %5d %-12s", static_cast<unsigned>(c.offset), c.number, player_command_name(c.opcode));
        if (c.has_value) {
            std::printf(" %u", static_cast<unsigned>(c.value));
        }
        for (const WalkedVector& v : c.vectors) {
            std::printf(" 0x");
            for (std::uint32_t i = 0; i < v.length; ++i) {
                std::printf("%02x", s.bytes[v.offset + i]);
            }
            if (c.opcode == XSDRINC && &v == &c.vectors[0]) { // TDI, repeat count, blocks
                std::printf(" %u", static_cast<unsigned>(c.repeat_count));
            }
        }
        std::printf("\n");
    });
    // The listing first, so that a fault is reported after the commands before it.
    const int written = xsvf_finish_output(0);
    const int walked = report_walk(name, r);
    return written != 0 ? written : walked;
}

int xsvf_cat(const char* name)
{
    if (name[0] != '@') {
        return xsvf_usage_error(std::string("cat takes an embedded program, @pci or @cardbus, not ") + name);
    }
    Stream s;
    if (!xsvf_load(name, &s)) {
        return EXIT_NO_INPUT;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    errno = 0;
    if (std::fwrite(s.bytes, 1, s.length, stdout) != s.length) {
        std::fprintf(stderr, "xsvf: cannot write standard output: %s\n", std::strerror(errno != 0 ? errno : EIO));
        return EXIT_IO_ERROR;
    }
    return xsvf_finish_output(0);
}

int xsvf_faults()
{
    std::printf("| Fault | Kind | Where | Effect |\n|---|---|---|---|\n");
    for (const SimFault& f : SIM_FAULTS) {
        std::printf("| `%s` | %s | %s | %s |\n", f.name, f.kind == SimFaultKind::Driver ? "driver" : "card",
                    sim_fault_where(f), f.effect);
    }
    return xsvf_finish_output(0);
}
