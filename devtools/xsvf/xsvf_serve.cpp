// xsvf serve: one simulated card on a remote-bitbang socket, until interrupted.
//
// Standard output carries one line when the server is ready (its address and card), so that
// a script can wait for it and read the port; everything else goes to standard error: a
// report per session and, on exit, what the card's memory holds.
//
// --clock host (the default) or virtual, at --tck-hz, picks the card's clock (rbb_server.h).
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devtools/xsvf/rbb_server.h"
#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_config.h"
#include "sim/sim_state.h"

namespace {

constexpr int DEFAULT_TCK_HZ = 1000000;

volatile std::sig_atomic_t StopRequested = 0;

// The served card lives as long as the process, its flash kept from session to session.
SimCard ServedCard;

extern "C" void on_stop_signal(int)
{
    StopRequested = 1;
}

// Card faults of a comma list, from the one table of faults; driver faults mean nothing
// without a driver.
bool parse_card_faults(const std::string& list, std::uint32_t* faults)
{
    return sim_each_listed(list, [&](std::string_view name) {
        const SimFault* fault = sim_fault_by_name(name);
        if (fault == nullptr || fault->kind != SimFaultKind::Card) {
            std::fprintf(stderr, "xsvf: --fault %.*s: %s\n", static_cast<int>(name.size()), name.data(),
                         fault ? "a driver fault; a served card has no driver" : "no such fault");
            return false;
        }
        *faults |= fault->bit;
        return true;
    });
}

// What the command line asks for.
struct ServeRequest {
    std::string card = "pci";
    std::vector<std::string> faults;
    int port = 3335;
    std::string unix_path;
    int sessions = 0;
    std::string clock = "host";
    int tck_hz = 0;
    std::string state;
};

// Serves until stopped or the sessions asked for are done; then what the card holds.
// EXIT_USAGE (with the usage printed) for a bad request.
int serve(const ServeRequest& o)
{
    RbbServer server;
    std::uint32_t faults = 0;
    const auto model = static_cast<CardModel>(card_model_by_key(o.card));
    std::string fault_names; // the lists as given, for the ready line
    for (const std::string& list : o.faults) {
        fault_names += (fault_names.empty() ? "" : ",") + list;
        if (!parse_card_faults(list, &faults)) {
            return xsvf_usage();
        }
    }
    server.address.port = o.port;
    std::string why;
    if (!o.unix_path.empty() && !rbb_parse_address(("unix:" + o.unix_path).c_str(), &server.address, &why)) {
        return xsvf_usage_error(why);
    }
    const bool virtual_clock = o.clock == "virtual";
    if (o.tck_hz != 0 && !virtual_clock) {
        return xsvf_usage_error("--tck-hz needs --clock virtual");
    }
    // A state file keeps the card's memory beyond this process; when it exists, its first
    // card is the card served.
    if (!o.state.empty()) {
        SimConfig config;
        config.card_count = 1;
        config.cards[0].model = model;
        SimMessage message{};
        if (!sim_state_open(o.state.c_str(), true, &config, &message)) {
            std::fprintf(stderr, "xsvf: state file %s: %s\n", o.state.c_str(), message.text);
            return EXIT_NO_INPUT;
        }
    }
    sim_card_power_on(&ServedCard, model, faults, 0);
    server.card = &ServedCard;
    server.tck_hz = virtual_clock ? static_cast<std::uint32_t>(o.tck_hz != 0 ? o.tck_hz : DEFAULT_TCK_HZ) : 0;
    sim_clock_use_host_time(server.tck_hz == 0);
    server.listener = rbb_listen(&server.address, &why);
    if (server.listener == RBB_NO_SOCKET) {
        std::fprintf(stderr, "xsvf: %s\n", why.c_str());
        return EXIT_UNAVAILABLE;
    }
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
    std::printf("xsvf serve: listening on %s, %s card%s%s", rbb_address_text(server.address).c_str(),
                card_model_of(ServedCard.model).name, faults ? " with faults " : "", fault_names.c_str());
    if (server.tck_hz != 0) {
        std::printf(", virtual clock at %lu Hz TCK", static_cast<unsigned long>(server.tck_hz));
    }
    std::printf("\n");
    std::fflush(stdout);

    rbb_server_run(&server, o.sessions, &StopRequested);
    rbb_close(server.listener);

    const LogicCounters& c = ServedCard.device.counters;
    std::fprintf(stderr, "xsvf serve: %d sessions; in all %u sectors erased, %u rows programmed, %u fetches\n",
                 server.sessions, c.sector_erases, c.rows_programmed, c.fetches);
    xsvf_report_card(stderr, "xsvf serve: ", &ServedCard);
    return xsvf_finish_output(0); // the ready line included
}

} // namespace

XsvfCommand xsvf_serve_command(CLI::App* app)
{
    auto o = std::make_shared<ServeRequest>();
    CLI::App* cmd = app->add_subcommand("serve");
    cmd->add_option("--card", o->card)->check(xsvf_card_key());
    cmd->add_option("--fault", o->faults)->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    CLI::Option* port = cmd->add_option("--port", o->port)->transform(xsvf_number(0, 65535));
    cmd->add_option("--unix", o->unix_path)->excludes(port);
    cmd->add_option("--sessions", o->sessions)->transform(xsvf_number(1, 1000000));
    cmd->add_option("--clock", o->clock)->check(CLI::IsMember({"host", "virtual"}));
    cmd->add_option("--tck-hz", o->tck_hz)->transform(xsvf_number(1, 1000000000));
    cmd->add_option("--state", o->state);
    return [o] { return serve(*o); };
}
