// xsvf play: plays a stream against a recording register target or a simulated card.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "card/driver.h"
#include "devtools/xsvf/xsvf_tool.h"
#include "images/image_source.h"
#include "sim/recording_target.h"
#include "sim/sim_card.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

extern bool XsvfProgressShown;

namespace {

// Forwards every access to the simulated card and writes a trace line for it. The trace
// file is created at the first access, so that a card that cannot be mapped leaves none.
struct TeeTarget {
    SimTarget inner;
    const char* path;
    std::FILE* trace;
    int open_errno; // nonzero when the trace file could not be created
};

void tee_line(TeeTarget* t, const RecordedEvent& e)
{
    if (!t->trace && t->open_errno == 0) {
        errno = 0;
        t->trace = std::fopen(t->path, "w");
        t->open_errno = t->trace ? 0 : (errno != 0 ? errno : EIO);
    }
    if (t->trace) {
        const std::string line = recorded_event_text(e);
        std::fputs(line.c_str(), t->trace);
        std::fputc('\n', t->trace);
    }
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

// Whether the trace file can be written, found before the run without creating the file
// or changing one that is there.
bool trace_writable(const char* path)
{
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    errno = 0;
    std::FILE* f = std::fopen(path, "ab");
    if (!f) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", path, std::strerror(errno != 0 ? errno : EIO));
        return false;
    }
    std::fclose(f);
    if (!existed) {
        std::remove(path);
    }
    return true;
}

const char* model_name(SimCardModel m)
{
    return m == SimCardModel::Pci ? "PCI" : "CardBus";
}

} // namespace

int xsvf_play(int argc, char** argv)
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
                return xsvf_usage();
            }
            log_level = static_cast<std::int32_t>(v);
        } else if (a == "--tdo" && has_value) {
            tdo = argv[++i];
            if (*tdo == '\0' || std::strspn(tdo, "01") != std::strlen(tdo)) {
                std::fprintf(stderr, "xsvf: --tdo takes 0, 1 or a string of 0 and 1\n");
                return xsvf_usage();
            }
        } else if (a == "--trace" && has_value) {
            trace_path = argv[++i];
        } else if (a == "--target" && has_value) {
            const std::string t = argv[++i];
            if (t != "sim" && t != "record") {
                std::fprintf(stderr, "xsvf: --target is record or sim\n");
                return xsvf_usage();
            }
            sim_target = t == "sim";
        } else if (a == "--card" && has_value) {
            const std::string c = argv[++i];
            if (c != "pci" && c != "cardbus") {
                std::fprintf(stderr, "xsvf: --card is pci or cardbus\n");
                return xsvf_usage();
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
                    return xsvf_usage();
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
            return xsvf_usage();
        } else if (!file) {
            file = argv[i];
        } else {
            return xsvf_unexpected_argument(argv[i]);
        }
    }
    if (!file) {
        std::fprintf(stderr, "xsvf: play needs a FILE\n");
        return xsvf_usage();
    }
    if (!sim_target && (card_given || driver_faults || card_faults)) {
        std::fprintf(stderr, "xsvf: --card and --fault need --target sim\n");
        return xsvf_usage();
    }
    Stream s;
    if (!xsvf_load(file, &s)) {
        return EXIT_NO_INPUT;
    }
    if (sim_target && !card_given && s.embedded) {
        card_model = s.model;
    }

    if (trace_path && !trace_writable(trace_path)) {
        return EXIT_CANT_WRITE;
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
    tee.path = trace_path;
    std::FILE* trace = nullptr;
    LogLevel = log_level;
    std::int32_t result = 0;
    if (sim_target) {
        if (trace_path) {
            tee.inner = sim_card_target(&SimCards[0]);
            sim_attach_target(0, tee_target(&tee));
        }
        result = player_update_card(0, s.bytes, s.length, nullptr);
        trace = tee.trace;
        if (result == UPDATE_NOT_MAPPED) {
            std::fprintf(stderr, "xsvf: the simulated driver refused to map the card\n");
            return xsvf_finish_output(EXIT_UNAVAILABLE);
        }
    } else {
        if (trace_path) {
            errno = 0;
            trace = std::fopen(trace_path, "w");
            tee.open_errno = trace ? 0 : (errno != 0 ? errno : EIO);
        }
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
    int status = xsvf_finish_output(static_cast<int>(result));
    if (XsvfProgressShown) {
        std::fputc('\n', stderr);
    }
    if (trace_path) {
        int error = tee.open_errno;
        if (trace) {
            errno = 0;
            const bool written = std::ferror(trace) == 0;
            const bool closed = std::fclose(trace) == 0;
            if (!written || !closed) {
                error = errno != 0 ? errno : EIO;
            }
        }
        if (error != 0) {
            std::fprintf(stderr, "xsvf: cannot write %s: %s\n", trace_path, std::strerror(error));
            status = EXIT_CANT_WRITE;
        }
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
    return status;
}
