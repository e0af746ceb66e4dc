// xsvf check, dis and cat: walking a stream without playing it, and writing out an embedded
// program; xsvf faults: the table of simulated faults.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
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

int report_walk_error(const char* name, const WalkResult& r)
{
    std::fprintf(stderr, "xsvf: %s: byte offset %u, command #%d: %s\n", name,
                 static_cast<unsigned>(r.error_offset), r.error_command, r.error.c_str());
    return 1;
}

// Bytes after XCOMPLETE do not make a stream unplayable: the player stops at XCOMPLETE and
// never reads them. They are worth a word all the same.
void note_trailing_bytes(const char* name, const WalkResult& r)
{
    if (r.ok && r.trailing > 0) {
        std::fprintf(stderr, "xsvf: %s: note: %u bytes after XCOMPLETE (from byte offset %u) are never played\n", name,
                     static_cast<unsigned>(r.trailing), static_cast<unsigned>(r.bytes_played));
    }
}

void print_vector(const Stream& s, const WalkedVector& v)
{
    std::printf(" 0x");
    for (std::uint32_t i = 0; i < v.length; ++i) {
        std::printf("%02x", s.bytes[v.offset + i]);
    }
}

} // namespace

int xsvf_check(const char* name)
{
    Stream s;
    if (!xsvf_load(name, &s)) {
        return EXIT_NO_INPUT;
    }
    struct Tally {
        int count = 0;
        int first = 0; // first appearance, to order ties
        std::map<std::uint32_t, std::pair<int, int>> values; // value -> (count, first appearance)
    };
    std::map<int, Tally> tallies;
    const WalkResult r = xsvf_walk(xsvf_bytes(s), [&](const WalkedCommand& c) {
        Tally& t = tallies[c.opcode];
        if (t.count++ == 0) {
            t.first = c.number;
        }
        if (c.has_value) {
            auto& v = t.values[c.value];
            if (v.first++ == 0) {
                v.second = c.number;
            }
        }
    });
    if (!r.ok) {
        return report_walk_error(name, r);
    }
    note_trailing_bytes(name, r);
    std::printf("%d commands, %u bytes\n", r.commands, static_cast<unsigned>(s.length));
    std::vector<std::pair<int, const Tally*>> order;
    for (const auto& [opcode, t] : tallies) {
        order.push_back({opcode, &t});
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.second->count != b.second->count ? a.second->count > b.second->count
                                                  : a.second->first < b.second->first;
    });
    for (const auto& [opcode, t] : order) {
        std::printf("%-12s %5d", player_command_name(static_cast<std::uint8_t>(opcode)), t->count);
        if (!t->values.empty()) {
            std::vector<std::pair<std::uint32_t, std::pair<int, int>>> values(t->values.begin(), t->values.end());
            std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
                return a.second.first != b.second.first ? a.second.first > b.second.first
                                                        : a.second.second < b.second.second;
            });
            std::printf("  %s:", cmd_row(static_cast<std::uint8_t>(opcode)).value);
            const char* sep = " ";
            for (const auto& [value, counted] : values) {
                std::printf("%s%u (%d)", sep, static_cast<unsigned>(value), counted.first);
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
    const WalkResult r = xsvf_walk(xsvf_bytes(s), [&](const WalkedCommand& c) {
        std::printf("%7u %5d %-12s", static_cast<unsigned>(c.offset), c.number, player_command_name(c.opcode));
        std::size_t next_vector = 0;
        if (c.has_value) {
            std::printf(" %u", static_cast<unsigned>(c.value));
        }
        if (c.opcode == XSDRINC) { // TDI, repeat count, blocks
            print_vector(s, c.vectors[next_vector++]);
            std::printf(" %u", static_cast<unsigned>(c.repeat_count));
        }
        for (; next_vector < c.vectors.size(); ++next_vector) {
            print_vector(s, c.vectors[next_vector]);
        }
        std::printf("\n");
    });
    // The listing first, so that a fault is reported after the commands before it.
    const int written = xsvf_finish_output(0);
    if (!r.ok) {
        report_walk_error(name, r);
    } else {
        note_trailing_bytes(name, r);
    }
    return written != 0 ? written : (r.ok ? 0 : 1);
}

int xsvf_cat(const char* name)
{
    if (name[0] != '@') {
        std::fprintf(stderr, "xsvf: cat takes an embedded program, @pci or @cardbus, not %s\n", name);
        return xsvf_usage();
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
