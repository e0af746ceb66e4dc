// xsvf: a developer tool for XSVF programs.
//
//   xsvf check FILE     walk the stream; print the command count and a table of commands
//   xsvf dis FILE       one line per command: offset, number, mnemonic, operands
//   xsvf cat NAME       write an embedded program (@pci, @cardbus) to standard output
//   xsvf play FILE [--log-level N] [--tdo 0|1|BITS] [--trace TRACEFILE]
//                  [--target record|sim] [--card pci|cardbus] [--fault NAME[,NAME...]]
//
// FILE may be @pci or @cardbus, the embedded programs. Standard output carries only what
// the subcommand is for (for play: exactly the player's diagnostic log); everything else
// goes to standard error.
//
// Exit status: check and dis 0 for a clean stream, 1 otherwise; play the player's result
// (0 to 6); the tool's own failures 64 (usage), 66 (FILE unreadable), 69 (card unavailable),
// 73 (trace not written).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "card/driver.h"
#include "card/port.h"
#include "devtools/xsvf/stream_walk.h"
#include "images/image_source.h"
#include "platform/regs.h"
#include "sim/recording_target.h"
#include "sim/sim_card.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"
#include "xsvf/commands.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

extern bool XsvfProgressShown;

namespace {

// Exit statuses of the tool's own failures. play exits with the player's result (0 to 6),
// so its own failures use codes far from those.
constexpr int EXIT_USAGE = 64;       // bad command line
constexpr int EXIT_NO_INPUT = 66;    // FILE cannot be read
constexpr int EXIT_UNAVAILABLE = 69; // the simulated card cannot be mapped
constexpr int EXIT_CANT_WRITE = 73;  // the trace cannot be written

// Files larger than this are refused: no program comes near it, and the reader's percent
// arithmetic is exact only well below 42 MB.
constexpr long MAX_FILE_BYTES = 16L * 1024 * 1024;

int usage()
{
    std::fputs("usage: xsvf check FILE\n"
               "       xsvf dis FILE\n"
               "       xsvf cat @pci|@cardbus\n"
               "       xsvf play FILE [--log-level N] [--tdo 0|1|BITS] [--trace TRACEFILE]\n"
               "                      [--target record|sim] [--card pci|cardbus] [--fault NAME[,NAME...]]\n"
               "FILE may be @pci or @cardbus, the embedded programs.\n",
               stderr);
    return EXIT_USAGE;
}

struct Stream {
    std::vector<std::uint8_t> owned;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    bool embedded = false;
    SimCardModel model = SimCardModel::Pci; // of an embedded program
};

bool load(const char* name, Stream* s)
{
    if (std::strcmp(name, "@pci") == 0 || std::strcmp(name, "@cardbus") == 0) {
        s->embedded = true;
        s->model = name[1] == 'p' ? SimCardModel::Pci : SimCardModel::CardBus;
        s->bytes = s->model == SimCardModel::Pci ? PciImage : CardBusImage;
        s->length = IMAGE_LENGTH;
        return true;
    }
    if (name[0] == '@') {
        std::fprintf(stderr, "xsvf: no embedded program %s (there are @pci and @cardbus)\n", name);
        return false;
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

std::span<const std::uint8_t> span_of(const Stream& s)
{
    return {s.bytes, s.length};
}

int report_walk_error(const char* name, const WalkResult& r)
{
    std::fprintf(stderr, "xsvf: %s: byte offset %u, command #%d: %s\n", name,
                 static_cast<unsigned>(r.error_offset), r.error_command, r.error.c_str());
    return 1;
}

// Operand values worth tabulating, and what the table calls them.
const char* value_label(std::uint8_t opcode)
{
    switch (opcode) {
    case XSIR: return "instruction length in bits";
    case XRUNTEST: return "run-test time in microseconds";
    case XREPEAT: return "retry limit";
    case XSDRSIZE: return "data-register length in bits";
    case XSTATE: return "state";
    case XENDIR:
    case XENDDR: return "end state";
    default: return nullptr;
    }
}

int cmd_check(const char* name)
{
    Stream s;
    if (!load(name, &s)) {
        return 1;
    }
    struct Tally {
        int count = 0;
        int first = 0; // first appearance, to order ties
        std::map<std::uint32_t, std::pair<int, int>> values; // value -> (count, first appearance)
    };
    std::map<int, Tally> tallies;
    const WalkResult r = xsvf_walk(span_of(s), [&](const WalkedCommand& c) {
        Tally& t = tallies[c.opcode];
        if (t.count++ == 0) {
            t.first = c.number;
        }
        if (c.has_value && value_label(c.opcode)) {
            auto& v = t.values[c.value];
            if (v.first++ == 0) {
                v.second = c.number;
            }
        }
    });
    if (!r.ok) {
        return report_walk_error(name, r);
    }
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
            std::printf("  %s:", value_label(static_cast<std::uint8_t>(opcode)));
            const char* sep = " ";
            for (const auto& [value, counted] : values) {
                std::printf("%s%u (%d)", sep, static_cast<unsigned>(value), counted.first);
                sep = ", ";
            }
        }
        std::printf("\n");
    }
    return 0;
}

void print_vector(const Stream& s, const WalkedVector& v)
{
    std::printf(" 0x");
    for (std::uint32_t i = 0; i < v.length; ++i) {
        std::printf("%02x", s.bytes[v.offset + i]);
    }
}

int cmd_dis(const char* name)
{
    Stream s;
    if (!load(name, &s)) {
        return 1;
    }
    const WalkResult r = xsvf_walk(span_of(s), [&](const WalkedCommand& c) {
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
    if (!r.ok) {
        std::fflush(stdout);
        return report_walk_error(name, r);
    }
    return 0;
}

int cmd_cat(const char* name)
{
    Stream s;
    if (name[0] != '@' || !load(name, &s)) {
        if (name[0] != '@') {
            std::fprintf(stderr, "xsvf: cat takes an embedded program: @pci or @cardbus\n");
        }
        return 1;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return std::fwrite(s.bytes, 1, s.length, stdout) == s.length && std::fflush(stdout) == 0 ? 0 : 1;
}

// Forwards every access to the simulated card and writes a trace line for it.
struct TeeTarget {
    SimTarget inner;
    std::FILE* trace;
};

void tee_line(TeeTarget* t, const RecordedEvent& e)
{
    const std::string line = recorded_event_text(e);
    std::fputs(line.c_str(), t->trace);
    std::fputc('\n', t->trace);
}

SimTarget tee_target(TeeTarget* tee)
{
    SimTarget t;
    t.context = tee;
    t.read = [](void* c, std::uint32_t offset) {
        auto* tt = static_cast<TeeTarget*>(c);
        const std::uint32_t v = tt->inner.read(tt->inner.context, offset);
        tee_line(tt, {'R', offset, v});
        return v;
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* tt = static_cast<TeeTarget*>(c);
        tt->inner.write(tt->inner.context, offset, value);
        tee_line(tt, {'W', offset, value});
    };
    t.sleep = [](void* c, std::uint32_t ms) {
        auto* tt = static_cast<TeeTarget*>(c);
        if (tt->inner.sleep) {
            tt->inner.sleep(tt->inner.context, ms);
        }
        tee_line(tt, {'S', 0, ms});
    };
    return t;
}

const char* model_name(SimCardModel m)
{
    return m == SimCardModel::Pci ? "PCI" : "CardBus";
}

int cmd_play(int argc, char** argv)
{
    const char* file = nullptr;
    const char* trace_path = nullptr;
    const char* tdo = "0";
    bool sim_target = false;
    bool card_given = false;
    SimCardModel card_model = SimCardModel::Pci;
    std::uint32_t driver_faults = 0;
    std::uint32_t card_faults = 0;
    std::int32_t log_level = 0;

    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--log-level" && has_value) {
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || v < -1000 || v > 1000) {
                std::fprintf(stderr, "xsvf: bad --log-level %s\n", argv[i]);
                return usage();
            }
            log_level = static_cast<std::int32_t>(v);
        } else if (a == "--tdo" && has_value) {
            tdo = argv[++i];
            if (*tdo == '\0' || std::strspn(tdo, "01") != std::strlen(tdo)) {
                std::fprintf(stderr, "xsvf: --tdo takes 0, 1 or a string of 0 and 1\n");
                return usage();
            }
        } else if (a == "--trace" && has_value) {
            trace_path = argv[++i];
        } else if (a == "--target" && has_value) {
            const std::string t = argv[++i];
            if (t != "sim" && t != "record") {
                std::fprintf(stderr, "xsvf: --target is record or sim\n");
                return usage();
            }
            sim_target = t == "sim";
        } else if (a == "--card" && has_value) {
            const std::string c = argv[++i];
            if (c != "pci" && c != "cardbus") {
                std::fprintf(stderr, "xsvf: --card is pci or cardbus\n");
                return usage();
            }
            card_model = c == "pci" ? SimCardModel::Pci : SimCardModel::CardBus;
            card_given = true;
        } else if (a == "--fault" && has_value) {
            std::string list = argv[++i];
            std::size_t start = 0;
            while (start <= list.size()) {
                const std::size_t comma = list.find(',', start);
                const std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                const std::uint32_t d = sim_driver_fault_by_name(name.c_str());
                const std::uint32_t c = sim_card_fault_by_name(name.c_str());
                if (d == 0 && c == 0) {
                    std::fprintf(stderr, "xsvf: unknown fault %s\n", name.c_str());
                    return usage();
                }
                driver_faults |= d;
                card_faults |= c;
                if (comma == std::string::npos) {
                    break;
                }
                start = comma + 1;
            }
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "xsvf: unknown or incomplete option %s\n", a.c_str());
            return usage();
        } else if (!file) {
            file = argv[i];
        } else {
            return usage();
        }
    }
    if (!file) {
        return usage();
    }
    if (!sim_target && (card_given || driver_faults || card_faults)) {
        std::fprintf(stderr, "xsvf: --card and --fault need --target sim\n");
        return usage();
    }
    Stream s;
    if (!load(file, &s)) {
        return EXIT_NO_INPUT;
    }
    if (sim_target && !card_given && s.embedded) {
        card_model = s.model;
    }

    std::FILE* trace = nullptr;
    if (trace_path) {
        trace = std::fopen(trace_path, "w");
        if (!trace) {
            std::fprintf(stderr, "xsvf: cannot write %s: %s\n", trace_path, std::strerror(errno));
            return EXIT_CANT_WRITE;
        }
    }

    // One card on the simulated platform, in virtual time.
    SimConfig config;
    config.card_count = 1;
    config.cards[0].model = card_model;
    config.cards[0].driver_faults = driver_faults;
    config.cards[0].card_faults = card_faults;
    config.driver_faults = driver_faults;
    sim_configure(config);

    RecordingTarget recorder;
    TeeTarget tee{};
    LogLevel = log_level;
    std::int32_t result = 0;
    if (sim_target) {
        if (trace) {
            tee.inner = sim_card_target(&SimCards[0]);
            tee.trace = trace;
            sim_attach_target(0, tee_target(&tee));
        }
        result = player_update_card(0, s.bytes, s.length, nullptr);
        if (result == UPDATE_NOT_MAPPED) {
            std::fprintf(stderr, "xsvf: the simulated driver refused to map the card\n");
            if (trace) {
                std::fclose(trace);
            }
            return EXIT_UNAVAILABLE;
        }
    } else {
        recorder.store = false;
        recorder.trace = trace;
        if (std::strlen(tdo) == 1) {
            recorder.tdo = tdo[0] == '1' ? 1u : 0u;
        } else {
            recorder.tdo_script = tdo;
        }
        sim_attach_target(0, recording_target(&recorder));
        sim_map_directly(0);
        result = player_run_program(s.bytes, s.length, nullptr);
    }
    std::fflush(stdout);
    if (XsvfProgressShown) {
        std::fputc('\n', stderr);
    }
    if (trace && std::fclose(trace) != 0) {
        std::fprintf(stderr, "xsvf: cannot write %s\n", trace_path);
        return EXIT_CANT_WRITE;
    }
    std::fprintf(stderr, "xsvf: result %d, %u of %u bytes read\n", static_cast<int>(result),
                 static_cast<unsigned>(ImageReadIndex), static_cast<unsigned>(s.length));
    if (sim_target) {
        const SimCard& card = SimCards[0];
        const bool pci = sim_card_holds_configuration(&card, SimCardModel::Pci);
        const bool cardbus = sim_card_holds_configuration(&card, SimCardModel::CardBus);
        if (pci || cardbus) {
            std::fprintf(stderr, "xsvf: the %s card's memory holds the %s configuration\n",
                         model_name(card_model), model_name(pci ? SimCardModel::Pci : SimCardModel::CardBus));
        } else {
            std::fprintf(stderr, "xsvf: the %s card's memory holds no complete configuration\n",
                         model_name(card_model));
        }
    }
    return static_cast<int>(result);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return usage();
    }
    const std::string command = argv[1];
    if (command == "check" && argc == 3) {
        return cmd_check(argv[2]);
    }
    if (command == "dis" && argc == 3) {
        return cmd_dis(argv[2]);
    }
    if (command == "cat" && argc == 3) {
        return cmd_cat(argv[2]);
    }
    if (command == "play") {
        return cmd_play(argc - 2, argv + 2);
    }
    return usage();
}
