// xsvf play: plays a stream against a recording register target, a simulated card or a
// remote-bitbang server (whose waits pass on the host, or with --remote-sleep travel in the
// stream as sleep characters), optionally dumping the lines to a VCD file. By job: the command line
// (read_options, check_options), the simulated platform (sim_platform_config), the files and
// the connection opened before the run (open_outputs), the chain of register targets
// (card_target), the run, and closing and reporting (finish).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "card/driver.h"
#include "devtools/xsvf/play_remote.h"
#include "devtools/xsvf/trace_file.h"
#include "devtools/xsvf/vcd_writer.h"
#include "devtools/xsvf/xsvf_tool.h"
#include "images/image_source.h"
#include "sim/recording_target.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "sim/sim_state.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

extern bool XsvfProgressShown;

namespace {

enum class Target : std::uint8_t { Record, Sim, Remote };

struct PlayOptions {
    const char* file = nullptr;
    const char* trace_path = nullptr;
    const char* vcd_path = nullptr;
    int vcd_first = 0;
    int vcd_last = 2147483647;
    bool vcd_range = false;
    const char* tdo = "0";
    Target target = Target::Record;
    RbbAddress remote_address;
    bool remote_sleep = false;
    int card_model = -1;
    std::vector<std::string> faults;
    const char* state_path = nullptr;
    std::uint64_t cut_power_at = SIM_NO_POWER_CUT;
    std::int32_t log_level = 0;
};

// What the run writes to and talks to, open from before the run to after it.
struct PlayOutputs {
    RecordingTarget recorder;
    RbbTarget remote;
    TraceFile trace;
    TraceTee tee;
    std::FILE* vcd_file = nullptr;
    VcdWriter vcd;
};

// The options of the command line; EXIT_USAGE (with the usage printed) for a bad one.
int read_options(int argc, char** argv, PlayOptions* o)
{
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
            o->log_level = static_cast<std::int32_t>(v);
        } else if (a == "--tdo" && has_value) {
            o->tdo = argv[++i];
            if (*o->tdo == '\0' || std::strspn(o->tdo, "01") != std::strlen(o->tdo)) {
                std::fprintf(stderr, "xsvf: --tdo takes 0, 1 or a string of 0 and 1\n");
                return xsvf_usage();
            }
        } else if (a == "--trace" && has_value) {
            o->trace_path = argv[++i];
        } else if (a == "--target" && has_value) {
            const std::string t = argv[++i];
            std::string why;
            const bool remote = t.rfind("rbb:", 0) == 0;
            if (remote && !rbb_parse_address(t.c_str() + 4, &o->remote_address, &why)) {
                std::fprintf(stderr, "xsvf: --target %s: %s\n", t.c_str(), why.c_str());
                return xsvf_usage();
            }
            if (t != "sim" && t != "record" && !remote) {
                std::fprintf(stderr, "xsvf: --target is record, sim, rbb:HOST:PORT or rbb:unix:PATH\n");
                return xsvf_usage();
            }
            o->target = remote ? Target::Remote : t == "sim" ? Target::Sim : Target::Record;
        } else if (a == "--remote-sleep") {
            o->remote_sleep = true;
        } else if (a == "--vcd" && has_value) {
            o->vcd_path = argv[++i];
        } else if (a == "--vcd-commands" && has_value) {
            if (!vcd_parse_range(argv[++i], &o->vcd_first, &o->vcd_last)) {
                std::fprintf(stderr, "xsvf: --vcd-commands takes FIRST-LAST, command numbers with FIRST <= LAST\n");
                return xsvf_usage();
            }
            o->vcd_range = true;
        } else if (a == "--card" && has_value) {
            o->card_model = card_model_by_key(argv[++i]);
            if (o->card_model < 0) {
                std::fprintf(stderr, "xsvf: --card is %s\n", xsvf_model_keys("", " or ").c_str());
                return xsvf_usage();
            }
        } else if (a == "--state" && has_value) {
            o->state_path = argv[++i];
        } else if (a == "--cut-power-at" && has_value) {
            char* end = nullptr;
            const char* text = argv[++i];
            errno = 0;
            const unsigned long long v = std::strtoull(text, &end, 10);
            if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || v >= SIM_NO_POWER_CUT) {
                std::fprintf(stderr, "xsvf: --cut-power-at takes a count of TCK cycles\n");
                return xsvf_usage();
            }
            o->cut_power_at = v;
        } else if (a == "--fault" && has_value) {
            sim_each_listed(argv[++i], [&](std::string_view name) {
                o->faults.emplace_back(name);
                return true;
            });
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "xsvf: unknown or incomplete option %s\n", a.c_str());
            return xsvf_usage();
        } else if (!o->file) {
            o->file = argv[i];
        } else {
            return xsvf_unexpected_argument(argv[i]);
        }
    }
    return 0;
}

// The recording target has no simulated platform: a MOLA_SIM_* variable cannot apply there.
bool no_simulation_set()
{
    const SimEnvironment env = sim_environment();
    const std::pair<const char*, const char*> all[] = {{"MOLA_SIM_CARDS", env.cards}, {"MOLA_SIM_DRIVER", env.driver},
                                                       {"MOLA_SIM_COUNT", env.count}, {"MOLA_SIM_CLOCK", env.clock},
                                                       {"MOLA_SIM_FAULTS", env.faults}, {"MOLA_SIM_POWER", env.power},
                                                       {"MOLA_SIM_STATE", env.state}};
    for (const auto& [variable, value] : all) {
        if (value != nullptr) {
            std::fprintf(stderr, "xsvf: %s is set, but only --target sim has a simulated platform\n", variable);
            return false;
        }
    }
    return true;
}

// The options that only make sense together; EXIT_USAGE when they do not.
int check_options(const PlayOptions& o)
{
    if (!o.file) {
        std::fprintf(stderr, "xsvf: play needs a FILE\n");
        return xsvf_usage();
    }
    if (o.vcd_range && !o.vcd_path) {
        std::fprintf(stderr, "xsvf: --vcd-commands needs --vcd\n");
        return xsvf_usage();
    }
    if (o.remote_sleep && o.target != Target::Remote) {
        std::fprintf(stderr, "xsvf: --remote-sleep needs --target rbb:...\n");
        return xsvf_usage();
    }
    const bool sim = o.target == Target::Sim;
    if (!sim && (o.card_model >= 0 || !o.faults.empty() || o.state_path || o.cut_power_at != SIM_NO_POWER_CUT)) {
        std::fprintf(stderr, "xsvf: --card, --fault, --state and --cut-power-at need --target sim\n");
        return xsvf_usage();
    }
    if (!sim && !no_simulation_set()) {
        return EXIT_USAGE;
    }
    return 0;
}

// The simulated platform of `play --target sim`: the MOLA_SIM_* variables as MolaFlashSim.exe
// reads them, in virtual time unless MOLA_SIM_CLOCK says otherwise; card 0 is played. Its
// model is --card's, else MOLA_SIM_CARDS's, else the embedded program's; a state file
// (--state, else MOLA_SIM_STATE) that exists decides the cards instead, and one that does not
// is made from them. --fault adds faults. The tool's exit status on failure, else 0.
int sim_platform_config(const Stream& s, const PlayOptions& o, SimConfig* config)
{
    SimEnvironment env = sim_environment();
    const char* state = o.state_path ? o.state_path : env.state;
    env.state = nullptr;
    SimMessage message{};
    if (!sim_parse_environment(env, config, &message)) {
        std::fprintf(stderr, "xsvf: %s\n", message.text);
        return EXIT_USAGE;
    }
    if (env.clock == nullptr) {
        config->real_sleep = false;
    }
    if (o.card_model >= 0) {
        config->cards[0].model = static_cast<CardModel>(o.card_model);
    } else if (env.cards == nullptr && s.embedded) {
        config->cards[0].model = s.model;
    }
    if (state != nullptr && !sim_state_open(state, true, config, &message)) {
        std::fprintf(stderr, "xsvf: state file %s: %s\n", state, message.text);
        return EXIT_NO_INPUT;
    }
    for (const std::string& name : o.faults) {
        if (!sim_add_fault(config, name, -1, &message)) {
            std::fprintf(stderr, "xsvf: --fault %s\n", message.text);
            return EXIT_USAGE;
        }
    }
    config->cards[0].power_cut_after_tck = o.cut_power_at;
    return 0;
}

// The trace's place, the VCD file and the connection, before anything runs; the tool's exit
// status when one of them fails.
int open_outputs(const PlayOptions& o, PlayOutputs* out)
{
    if (o.trace_path && !trace_file_writable(o.trace_path)) {
        return EXIT_CANT_WRITE;
    }
    if (o.vcd_path && (out->vcd_file = std::fopen(o.vcd_path, "w")) == nullptr) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", o.vcd_path, std::strerror(errno));
        return EXIT_CANT_WRITE;
    }
    out->remote.waits = o.remote_sleep ? RbbWaits::SleepCharacters : RbbWaits::Host;
    if (o.target == Target::Remote && !play_connect_remote(&out->remote, o.remote_address)) {
        if (out->vcd_file) {
            std::fclose(out->vcd_file);
            out->vcd_file = nullptr;
        }
        return EXIT_UNAVAILABLE;
    }
    return 0;
}

// The card: the simulated one, the recorder or a remote-bitbang server; traced and dumped
// when asked. The platform is configured already, so card 0's target is the simulated card.
SimTarget card_target(const PlayOptions& o, const Stream& s, bool host_time, PlayOutputs* out)
{
    out->recorder.store = false;
    if (std::strlen(o.tdo) == 1) {
        out->recorder.tdo = o.tdo[0] == '1' ? 1u : 0u;
    } else {
        out->recorder.tdo_script = o.tdo;
    }
    SimTarget target = o.target == Target::Sim      ? sim_attached_target(0)
                       : o.target == Target::Remote ? rbb_target(&out->remote)
                                                    : recording_target(&out->recorder);
    out->trace.path = o.trace_path;
    out->tee = TraceTee{target, &out->trace};
    if (o.trace_path) {
        target = trace_tee_target(&out->tee);
    }
    if (out->vcd_file) {
        vcd_begin(&out->vcd, out->vcd_file, xsvf_bytes(s), target, o.vcd_first, o.vcd_last, host_time);
        target = vcd_target(&out->vcd);
    }
    return target;
}

// Closes what the run wrote to and reports on standard error; the tool's exit status.
int finish(const PlayOptions& o, const Stream& s, PlayOutputs* out, std::int32_t result)
{
    int status = xsvf_finish_output(result == UPDATE_NOT_MAPPED ? EXIT_UNAVAILABLE : static_cast<int>(result));
    if (XsvfProgressShown) {
        std::fputc('\n', stderr);
    }
    if (out->vcd_file) {
        vcd_end(&out->vcd);
        if (std::fclose(out->vcd_file) != 0) {
            std::fprintf(stderr, "xsvf: cannot write %s\n", o.vcd_path);
            status = EXIT_CANT_WRITE;
        }
    }
    if (o.trace_path && !trace_file_close(&out->trace)) {
        status = EXIT_CANT_WRITE;
    }
    if (o.target == Target::Remote && !play_finish_remote(&out->remote)) {
        status = EXIT_LINK_FAILED; // the player's result means nothing without the card's answers
    }
    if (result == UPDATE_NOT_MAPPED) {
        std::fprintf(stderr, "xsvf: the simulated card cannot be reached: the driver's probe with mapping failed\n");
        return status;
    }
    std::fprintf(stderr, "xsvf: result %d, %u of %u bytes read\n", static_cast<int>(result),
                 static_cast<unsigned>(ImageReadIndex), static_cast<unsigned>(s.length));
    if (o.target == Target::Sim) {
        const SimCard* card = sim_card(0);
        std::fprintf(stderr, "xsvf: the card saw %llu TCK cycles\n",
                     static_cast<unsigned long long>(card->device.counters.rising_edges));
        if (card->power_lost) {
            std::fprintf(stderr, "xsvf: the card lost its power after %llu TCK cycles\n",
                         static_cast<unsigned long long>(card->power_cut_after_tck));
        }
        xsvf_report_card(stderr, "xsvf: ", card);
    }
    return status;
}

} // namespace

int xsvf_play(int argc, char** argv)
{
    PlayOptions o;
    if (const int status = read_options(argc, argv, &o); status != 0) {
        return status;
    }
    if (const int status = check_options(o); status != 0) {
        return status;
    }
    Stream s;
    if (!xsvf_load(o.file, &s)) {
        return EXIT_NO_INPUT;
    }
    SimConfig config;
    if (o.target == Target::Sim) {
        if (const int status = sim_platform_config(s, o, &config); status != 0) {
            return status;
        }
    } else {
        config.card_count = 1; // the recorder or the connection sits behind card 0
    }
    PlayOutputs out;
    if (const int status = open_outputs(o, &out); status != 0) {
        return status;
    }

    // Virtual time unless MOLA_SIM_CLOCK says otherwise; host time when the card is at the
    // far end of a socket and waits really pass there. Waits sent as sleep characters take no
    // host time: the player's virtual time then counts them, and the VCD shows it.
    const bool host_time = o.target == Target::Remote && !o.remote_sleep;
    sim_configure(config);
    sim_clock_use_host_time(host_time);
    sim_attach_target(0, card_target(o, s, host_time, &out));

    LogLevel = o.log_level;
    std::int32_t result = 0;
    if (o.target == Target::Sim) {
        result = player_update_card(0, s.bytes, s.length, nullptr);
    } else {
        sim_map_directly(0);
        result = player_run_program(s.bytes, s.length, nullptr);
    }
    return finish(o, s, &out, result);
}
