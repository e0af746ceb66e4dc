// xsvf serve: one simulated card on a remote-bitbang socket, until interrupted.
//
// Standard output carries one line when the server is ready (its address and card), so that
// a script can wait for it and read the port; everything else goes to standard error: a
// report per session and, on exit, what the card's memory holds.
//
// The card's dwell rules run on the host's clock (--clock host, the default: waits are the
// client's real time, plus its sleep characters) or on a virtual clock (--clock virtual: half
// a period of --tck-hz per character that writes the lines, plus the sleep characters).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devtools/xsvf/rbb_server.h"
#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_card.h"
#include "sim/sim_clock.h"
#include "sim/sim_config.h"
#include "sim/sim_state.h"

namespace {

constexpr long DEFAULT_TCK_HZ = 1000000;

volatile std::sig_atomic_t StopRequested = 0;

// The served card lives as long as the process, its flash kept from session to session.
SimCard ServedCard;

extern "C" void on_stop_signal(int)
{
    StopRequested = 1;
}

bool parse_count(const char* text, long low, long high, long* value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
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

} // namespace

int xsvf_serve(int argc, char** argv)
{
    RbbServer server;
    server.address.host = "127.0.0.1";
    server.address.port = 3335;
    CardModel model = CARD_MODEL_PCI;
    std::uint32_t faults = 0;
    std::string fault_names;
    long sessions = 0;
    bool port_given = false;
    bool virtual_clock = false;
    long tck_hz = 0;
    const char* state = nullptr;

    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "xsvf: unknown or incomplete option %s\n", a.c_str());
            return xsvf_usage();
        }
        const char* value = argv[++i];
        long n = 0;
        if (a == "--card") {
            const int m = card_model_by_key(value);
            if (m < 0) {
                std::fprintf(stderr, "xsvf: --card is %s\n", xsvf_model_keys("", " or ").c_str());
                return xsvf_usage();
            }
            model = static_cast<CardModel>(m);
        } else if (a == "--fault") {
            if (!parse_card_faults(value, &faults)) {
                return xsvf_usage();
            }
            if (!fault_names.empty()) {
                fault_names += ',';
            }
            fault_names += value;
        } else if (a == "--state") {
            state = value;
        } else if (a == "--port" && parse_count(value, 0, 65535, &n)) {
            server.address.port = static_cast<int>(n);
            port_given = true;
        } else if (a == "--unix") {
            std::string why;
            if (!rbb_parse_address(("unix:" + std::string(value)).c_str(), &server.address, &why)) {
                std::fprintf(stderr, "xsvf: %s\n", why.c_str());
                return xsvf_usage();
            }
        } else if (a == "--sessions" && parse_count(value, 1, 1000000, &n)) {
            sessions = n;
        } else if (a == "--clock" && (std::string(value) == "host" || std::string(value) == "virtual")) {
            virtual_clock = std::string(value) == "virtual";
        } else if (a == "--tck-hz" && parse_count(value, 1, 1000000000, &n)) {
            tck_hz = n;
        } else {
            std::fprintf(stderr, "xsvf: bad serve option %s %s\n", a.c_str(), value);
            return xsvf_usage();
        }
    }
    if (port_given && server.address.unix_socket) {
        std::fprintf(stderr, "xsvf: --port and --unix exclude each other\n");
        return xsvf_usage();
    }
    if (tck_hz != 0 && !virtual_clock) {
        std::fprintf(stderr, "xsvf: --tck-hz needs --clock virtual\n");
        return xsvf_usage();
    }

    // A state file keeps the card's memory beyond this process; when it exists, its first
    // card is the card served.
    if (state != nullptr) {
        SimConfig config;
        config.card_count = 1;
        config.cards[0].model = model;
        SimMessage message{};
        if (!sim_state_open(state, true, &config, &message)) {
            std::fprintf(stderr, "xsvf: state file %s: %s\n", state, message.text);
            return EXIT_NO_INPUT;
        }
        model = config.cards[0].model;
        sim_card_power_on_kept(&ServedCard, 0, faults);
    } else {
        sim_card_power_on(&ServedCard, model, faults);
    }
    server.card = &ServedCard;
    server.tck_hz = virtual_clock ? static_cast<std::uint32_t>(tck_hz != 0 ? tck_hz : DEFAULT_TCK_HZ) : 0;
    sim_clock_use_host_time(!virtual_clock);

    std::string why;
    if (!rbb_server_open(&server, &why)) {
        std::fprintf(stderr, "xsvf: %s\n", why.c_str());
        return EXIT_UNAVAILABLE;
    }
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
    std::printf("xsvf serve: listening on %s, %s card%s%s", rbb_address_text(server.address).c_str(),
                card_model_of(model).name, faults ? " with faults " : "", fault_names.c_str());
    if (virtual_clock) {
        std::printf(", virtual clock at %lu Hz TCK", static_cast<unsigned long>(server.tck_hz));
    }
    std::printf("\n");
    std::fflush(stdout);

    rbb_server_run(&server, static_cast<int>(sessions), &StopRequested);
    rbb_server_close(&server);

    const LogicCounters& c = ServedCard.device.counters;
    std::fprintf(stderr, "xsvf serve: %d sessions; in all %u sectors erased, %u rows programmed, %u fetches\n",
                 server.sessions, c.sector_erases, c.rows_programmed, c.fetches);
    xsvf_report_card(stderr, "xsvf serve: ", &ServedCard);
    return xsvf_finish_output(0); // the ready line included
}
