// xsvf play: plays a stream against a recording register target, a simulated card or a
// remote-bitbang server (whose waits pass on the host, or with --remote-sleep travel in the
// stream as sleep characters), optionally tracing the accesses to a file and dumping the lines
// to a VCD file (trace_file.h, vcd_writer.h). By job: the command line (xsvf_play_command,
// check_request), the simulated platform (sim_platform_config), the files, the connection and
// the chain of register targets set up before the run (attach_card), the run, and closing and
// reporting (finish_remote, finish).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "devtools/xsvf/rbb_target.h"
#include "devtools/xsvf/stream_walk.h"
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

// What the command line asks for.
struct PlayRequest {
    std::string file;
    std::string trace_path;
    std::string vcd_path;
    std::string vcd_commands;
    int vcd_first = 0;
    int vcd_last = 2147483647;
    std::string tdo = "0";
    std::string target_text = "record";
    Target target = Target::Record;
    RbbAddress remote_address;
    bool remote_sleep = false;
    std::string card;
    std::vector<std::string> faults;
    std::string state_path;
    std::string cut_power_text;
    std::uint64_t cut_power_at = SIM_NO_POWER_CUT;
    std::int32_t log_level = 0;
};

// What the run writes to and talks to, open from before the run to after it.
struct PlayOutputs {
    RecordingTarget recorder;
    RbbTarget remote;
    TraceFile trace;
    TraceTee trace_tee;
    VcdWriter vcd;
};

// The values that the parser takes as text, and the options that only make sense together;
// EXIT_USAGE (with the usage printed) when they do not.
int check_request(PlayRequest* o)
{
    const std::string& t = o->target_text;
    std::string why;
    const bool remote = t.rfind("rbb:", 0) == 0;
    if (remote && !rbb_parse_address(t.c_str() + 4, &o->remote_address, &why)) {
        return xsvf_usage_error("--target " + t + ": " + why);
    }
    if (t != "sim" && t != "record" && !remote) {
        return xsvf_usage_error("--target is record, sim, rbb:HOST:PORT or rbb:unix:PATH");
    }
    o->target = remote ? Target::Remote : t == "sim" ? Target::Sim : Target::Record;
    if (!o->vcd_commands.empty() && !vcd_parse_range(o->vcd_commands.c_str(), &o->vcd_first, &o->vcd_last)) {
        return xsvf_usage_error("--vcd-commands takes FIRST-LAST, command numbers with FIRST <= LAST");
    }
    if (o->remote_sleep && o->target != Target::Remote) {
        return xsvf_usage_error("--remote-sleep needs --target rbb:...");
    }
    if (!o->cut_power_text.empty()) {
        const char* text = o->cut_power_text.c_str();
        const char* end = text + o->cut_power_text.size();
        const auto [stop, error] = std::from_chars(text, end, o->cut_power_at);
        if (stop != end || error != std::errc() || o->cut_power_at >= SIM_NO_POWER_CUT) {
            return xsvf_usage_error("--cut-power-at takes a count of TCK cycles");
        }
    }
    const bool sim = o->target == Target::Sim;
    if (!sim && (!o->card.empty() || !o->faults.empty() || !o->state_path.empty() || !o->cut_power_text.empty())) {
        return xsvf_usage_error("--card, --fault, --state and --cut-power-at need --target sim");
    }
    // The recorder and a remote card have no simulated platform: a MOLA_SIM_* variable cannot
    // apply there.
    const SimEnvironment env = sim_environment();
    for (const SimVariable& v : SIM_VARIABLES) {
        if (!sim && env.*v.value != nullptr) {
            std::fprintf(stderr, "xsvf: %s is set, but only --target sim has a simulated platform\n", v.name);
            return EXIT_USAGE;
        }
    }
    return 0;
}

// The simulated platform of `play --target sim`: the MOLA_SIM_* variables as MolaFlashSim.exe
// reads them, in virtual time unless MOLA_SIM_CLOCK says otherwise; card 0 is played. Its
// model is --card's, else MOLA_SIM_CARDS's, else the embedded program's; a state file
// (--state, else MOLA_SIM_STATE) that exists decides the cards instead, and one that does not
// is made from them. --fault adds faults. The tool's exit status on failure, else 0. The other
// targets have one card, with the recorder or the connection behind it.
int sim_platform_config(const PlayRequest& o, SimConfig* config)
{
    if (o.target != Target::Sim) {
        config->card_count = 1;
        return 0;
    }
    SimEnvironment env = sim_environment();
    const char* state = !o.state_path.empty() ? o.state_path.c_str() : env.state;
    env.state = nullptr;
    SimMessage message{};
    if (!sim_parse_environment(env, config, &message)) {
        std::fprintf(stderr, "xsvf: %s\n", message.text);
        return EXIT_USAGE;
    }
    if (env.clock == nullptr) {
        config->real_sleep = false;
    }
    if (!o.card.empty()) {
        config->cards[0].model = static_cast<CardModel>(card_model_by_key(o.card));
    } else if (env.cards == nullptr && o.file[0] == '@') { // an embedded program, named as xsvf_load took it
        config->cards[0].model = static_cast<CardModel>(card_model_by_key(o.file.c_str() + 1));
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

// The card, before anything runs: the simulated one, the recorder or a remote-bitbang server,
// traced and dumped when asked. The trace's place, the VCD file and the connection are tried
// first; the tool's exit status when one of them fails, else 0.
int attach_card(const PlayRequest& o, const Stream& s, const SimConfig& config, PlayOutputs* out)
{
    if (!o.trace_path.empty() && !trace_file_writable(o.trace_path.c_str())) {
        return EXIT_CANT_WRITE;
    }
    if (!o.vcd_path.empty() && (out->vcd.file = std::fopen(o.vcd_path.c_str(), "w")) == nullptr) {
        std::fprintf(stderr, "xsvf: cannot write %s: %s\n", o.vcd_path.c_str(), std::strerror(errno));
        return EXIT_CANT_WRITE;
    }
    out->remote.waits = o.remote_sleep ? RbbWaits::SleepCharacters : RbbWaits::Host;
    std::string why;
    if (o.target == Target::Remote && !rbb_target_connect(&out->remote, o.remote_address, &why)) {
        std::fprintf(stderr, "xsvf: cannot connect to %s: %s\n", rbb_address_text(o.remote_address).c_str(), why.c_str());
        return EXIT_UNAVAILABLE;
    }

    // Virtual time unless MOLA_SIM_CLOCK says otherwise; host time when the card is at the
    // far end of a socket and waits really pass there. Waits sent as sleep characters take no
    // host time: the player's virtual time then counts them, and the VCD shows it.
    const bool host_time = o.target == Target::Remote && !o.remote_sleep;
    // The walk configures the platform for itself, so it comes before the run's configuration.
    std::vector<std::uint32_t> starts = out->vcd.file ? xsvf_command_starts({s.bytes, s.length}) : std::vector<std::uint32_t>();
    sim_configure(config);
    sim_clock_use_host_time(host_time);
    out->recorder.store = false;
    out->recorder.tdo_script = o.tdo; // a single bit answers every read
    SimTarget target = o.target == Target::Sim      ? sim_attached_target(0)
                       : o.target == Target::Remote ? rbb_target(&out->remote)
                                                    : recording_target(&out->recorder);
    out->trace.path = o.trace_path.c_str();
    out->trace_tee = TraceTee{target, &out->trace, trace_file_line};
    if (!o.trace_path.empty()) {
        target = trace_tee_target(&out->trace_tee);
    }
    if (out->vcd.file) {
        vcd_begin(&out->vcd, std::move(starts), target, o.vcd_first, o.vcd_last, host_time);
        target = vcd_target(&out->vcd);
    }
    sim_attach_target(0, target);
    return 0;
}

// Ends the connection and prints its figures (TCK cycles, wall time, TCK/s, reads and their
// round trips, waits); false, with a message, when the connection broke at any point.
bool finish_remote(RbbTarget* remote)
{
    const bool ok = rbb_target_finish(remote);
    const double seconds = rbb_target_seconds(remote);
    const char* how = remote->waits == RbbWaits::Host ? "on the host" : "sent as sleep characters";
    std::fprintf(stderr,
                 "xsvf: rbb: %llu TCK cycles in %.2f s (%.0f TCK/s); %llu TDO reads in %llu round trips, "
                 "%llu bytes sent, %llu waits %s (%.2f s of them",
                 static_cast<unsigned long long>(remote->tck_cycles), seconds,
                 seconds > 0 ? static_cast<double>(remote->tck_cycles) / seconds : 0.0,
                 static_cast<unsigned long long>(remote->reads), static_cast<unsigned long long>(remote->round_trips),
                 static_cast<unsigned long long>(remote->bytes_sent),
                 static_cast<unsigned long long>(remote->waits_total), how,
                 static_cast<double>(remote->wait_ns) / 1e9);
    if (remote->waits == RbbWaits::Host) {
        std::fprintf(stderr, ", %.2f s passed", static_cast<double>(remote->waited_ns) / 1e9);
    }
    std::fputs(")\n", stderr);
    if (!ok) {
        std::fprintf(stderr, "xsvf: the connection to the remote-bitbang server broke: %s\n", remote->error.c_str());
    }
    return ok;
}

// Closes what the run wrote to and reports on standard error; the tool's exit status.
int finish(const PlayRequest& o, const Stream& s, PlayOutputs* out, std::int32_t result)
{
    int status = xsvf_finish_output(result == UPDATE_NOT_MAPPED ? EXIT_UNAVAILABLE : static_cast<int>(result));
    if (XsvfProgressShown) {
        std::fputc('\n', stderr);
    }
    if (out->vcd.file) {
        vcd_end(&out->vcd);
        if (std::fclose(out->vcd.file) != 0) {
            std::fprintf(stderr, "xsvf: cannot write %s\n", o.vcd_path.c_str());
            status = EXIT_CANT_WRITE;
        }
    }
    if (!o.trace_path.empty() && !trace_file_close(&out->trace)) {
        status = EXIT_CANT_WRITE;
    }
    if (o.target == Target::Remote && !finish_remote(&out->remote)) {
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

int play(PlayRequest& o)
{
    if (const int status = check_request(&o); status != 0) {
        return status;
    }
    Stream s;
    if (!xsvf_load(o.file.c_str(), &s)) {
        return EXIT_NO_INPUT;
    }
    SimConfig config;
    if (const int status = sim_platform_config(o, &config); status != 0) {
        return status;
    }
    PlayOutputs out;
    if (const int status = attach_card(o, s, config, &out); status != 0) {
        return status;
    }
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

} // namespace

XsvfCommand xsvf_play_command(CLI::App* app)
{
    auto o = std::make_shared<PlayRequest>();
    CLI::App* cmd = app->add_subcommand("play");
    cmd->allow_extras();
    cmd->add_option("FILE", o->file)->required();
    cmd->add_option("--log-level", o->log_level)->transform(xsvf_number(-1000, 1000));
    cmd->add_option("--tdo", o->tdo)->check([](const std::string& tdo) {
        return tdo.empty() || tdo.find_first_not_of("01") != std::string::npos ? "takes 0, 1 or a string of 0 and 1" : "";
    });
    cmd->add_option("--trace", o->trace_path);
    cmd->add_option("--target", o->target_text);
    cmd->add_option("--card", o->card)->check(xsvf_card_key());
    cmd->add_option("--fault", o->faults)->delimiter(',')->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* vcd = cmd->add_option("--vcd", o->vcd_path);
    cmd->add_option("--vcd-commands", o->vcd_commands)->needs(vcd);
    cmd->add_flag("--remote-sleep", o->remote_sleep);
    cmd->add_option("--state", o->state_path);
    cmd->add_option("--cut-power-at", o->cut_power_text);
    return [o] { return play(*o); };
}
