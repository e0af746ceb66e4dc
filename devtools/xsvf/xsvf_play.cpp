// xsvf play: plays a stream against a recording register target, a simulated card or a
// remote-bitbang server, optionally dumping the lines to a VCD file.
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
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

extern bool XsvfProgressShown;

namespace {

// The simulated platform of `play --target sim`: the MOLA_SIM_* variables as MolaFlashSim.exe
// reads them, in virtual time unless MOLA_SIM_CLOCK says otherwise; card 0 is played. Its
// model is --card's, else MOLA_SIM_CARDS's, else the embedded program's; --fault adds faults.
bool sim_platform_config(const Stream& s, int card_model, const std::vector<std::string>& faults,
                         SimConfig* config)
{
    const SimEnvironment env = sim_environment();
    SimMessage message{};
    if (!sim_parse_environment(env, config, &message)) {
        std::fprintf(stderr, "xsvf: %s\n", message.text);
        return false;
    }
    if (env.clock == nullptr) {
        config->real_sleep = false;
    }
    if (card_model >= 0) {
        config->cards[0].model = static_cast<CardModel>(card_model);
    } else if (env.cards == nullptr && s.embedded) {
        config->cards[0].model = s.model;
    }
    for (const std::string& name : faults) {
        if (!sim_add_fault(config, name, -1, &message)) {
            std::fprintf(stderr, "xsvf: --fault %s\n", message.text);
            return false;
        }
    }
    return true;
}

// The recording target has no simulated platform: a MOLA_SIM_* variable cannot apply there.
bool no_simulation_set()
{
    const SimEnvironment env = sim_environment();
    const std::pair<const char*, const char*> all[] = {{"MOLA_SIM_CARDS", env.cards}, {"MOLA_SIM_DRIVER", env.driver},
                                                       {"MOLA_SIM_COUNT", env.count}, {"MOLA_SIM_CLOCK", env.clock},
                                                       {"MOLA_SIM_FAULTS", env.faults}, {"MOLA_SIM_POWER", env.power}};
    for (const auto& [variable, value] : all) {
        if (value != nullptr) {
            std::fprintf(stderr, "xsvf: %s is set, but only --target sim has a simulated platform\n", variable);
            return false;
        }
    }
    return true;
}

} // namespace

int xsvf_play(int argc, char** argv)
{
    const char* file = nullptr;
    const char* trace_path = nullptr;
    const char* vcd_path = nullptr;
    int vcd_first = 0;
    int vcd_last = 2147483647;
    bool vcd_range = false;
    const char* tdo = "0";
    bool sim_target = false;
    bool remote_target = false;
    RbbAddress remote_address;
    int card_model = -1;
    std::vector<std::string> faults;
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
            std::string why;
            remote_target = t.rfind("rbb:", 0) == 0;
            if (remote_target && !rbb_parse_address(t.c_str() + 4, &remote_address, &why)) {
                std::fprintf(stderr, "xsvf: --target %s: %s\n", t.c_str(), why.c_str());
                return xsvf_usage();
            }
            if (t != "sim" && t != "record" && !remote_target) {
                std::fprintf(stderr, "xsvf: --target is record, sim, rbb:HOST:PORT or rbb:unix:PATH\n");
                return xsvf_usage();
            }
            sim_target = t == "sim";
        } else if (a == "--vcd" && has_value) {
            vcd_path = argv[++i];
        } else if (a == "--vcd-commands" && has_value) {
            if (!vcd_parse_range(argv[++i], &vcd_first, &vcd_last)) {
                std::fprintf(stderr, "xsvf: --vcd-commands takes FIRST-LAST, command numbers with FIRST <= LAST\n");
                return xsvf_usage();
            }
            vcd_range = true;
        } else if (a == "--card" && has_value) {
            card_model = card_model_by_key(argv[++i]);
            if (card_model < 0) {
                std::fprintf(stderr, "xsvf: --card is %s\n", xsvf_model_keys("", " or ").c_str());
                return xsvf_usage();
            }
        } else if (a == "--fault" && has_value) {
            sim_each_listed(argv[++i], [&](std::string_view name) {
                faults.emplace_back(name);
                return true;
            });
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
    if (vcd_range && !vcd_path) {
        std::fprintf(stderr, "xsvf: --vcd-commands needs --vcd\n");
        return xsvf_usage();
    }
    if (!sim_target && (card_model >= 0 || !faults.empty())) {
        std::fprintf(stderr, "xsvf: --card and --fault need --target sim\n");
        return xsvf_usage();
    }
    if (!sim_target && !no_simulation_set()) {
        return EXIT_USAGE;
    }
    Stream s;
    if (!xsvf_load(file, &s)) {
        return EXIT_NO_INPUT;
    }
    SimConfig config;
    if (sim_target) {
        if (!sim_platform_config(s, card_model, faults, &config)) {
            return EXIT_USAGE;
        }
    } else {
        config.card_count = 1; // the recorder or the connection sits behind card 0
    }

    if (trace_path && !trace_file_writable(trace_path)) {
        return EXIT_CANT_WRITE;
    }
    std::FILE* vcd_file = nullptr;
    if (vcd_path && (vcd_file = std::fopen(vcd_path, "w")) == nullptr) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", vcd_path, std::strerror(errno));
        return EXIT_CANT_WRITE;
    }
    RbbTarget remote;
    if (remote_target && !play_connect_remote(&remote, remote_address)) {
        if (vcd_file) {
            std::fclose(vcd_file);
        }
        return EXIT_UNAVAILABLE;
    }

    // Virtual time unless MOLA_SIM_CLOCK says otherwise; host time when the card is at the
    // far end of a socket, where waits really pass.
    sim_configure(config);
    sim_clock_use_host_time(remote_target);

    // The card: the simulated one, the recorder or a remote-bitbang server; traced and
    // dumped when asked.
    RecordingTarget recorder;
    recorder.store = false;
    if (std::strlen(tdo) == 1) {
        recorder.tdo = tdo[0] == '1' ? 1u : 0u;
    } else {
        recorder.tdo_script = tdo;
    }
    SimTarget target = sim_target      ? sim_card_target(&SimCards[0])
                       : remote_target ? rbb_target(&remote)
                                       : recording_target(&recorder);
    TraceFile trace;
    trace.path = trace_path;
    TraceTee tee{target, &trace};
    if (trace_path) {
        target = trace_tee_target(&tee);
    }
    VcdWriter vcd;
    if (vcd_file) {
        vcd_begin(&vcd, vcd_file, xsvf_bytes(s), target, vcd_first, vcd_last, remote_target);
        target = vcd_target(&vcd);
    }
    sim_attach_target(0, target);

    LogLevel = log_level;
    std::int32_t result = 0;
    if (sim_target) {
        result = player_update_card(0, s.bytes, s.length, nullptr);
    } else {
        sim_map_directly(0);
        result = player_run_program(s.bytes, s.length, nullptr);
    }
    int status = xsvf_finish_output(result == UPDATE_NOT_MAPPED ? EXIT_UNAVAILABLE : static_cast<int>(result));
    if (XsvfProgressShown) {
        std::fputc('\n', stderr);
    }
    if (vcd_file) {
        vcd_end(&vcd);
        if (std::fclose(vcd_file) != 0) {
            std::fprintf(stderr, "xsvf: cannot write %s\n", vcd_path);
            status = EXIT_CANT_WRITE;
        }
    }
    if (trace_path && !trace_file_close(&trace)) {
        status = EXIT_CANT_WRITE;
    }
    if (remote_target && !play_finish_remote(&remote)) {
        status = EXIT_LINK_FAILED; // the player's result means nothing without the card's answers
    }
    if (result == UPDATE_NOT_MAPPED) {
        std::fprintf(stderr, "xsvf: the simulated card cannot be reached: the driver's probe with mapping failed\n");
        return status;
    }
    std::fprintf(stderr, "xsvf: result %d, %u of %u bytes read\n", static_cast<int>(result),
                 static_cast<unsigned>(ImageReadIndex), static_cast<unsigned>(s.length));
    if (sim_target) {
        xsvf_report_card(stderr, "xsvf: ", &SimCards[0]);
    }
    return status;
}
