// xsvf: a developer tool for XSVF programs.
//
//   xsvf check FILE     walk the stream; print the command count and a table of commands
//   xsvf dis FILE       one line per command: offset, number, mnemonic, operands
//   xsvf cat NAME       write an embedded program (@pci, @cardbus) to standard output
//   xsvf play FILE      play the stream against a recorder, a simulated card or a
//                       remote-bitbang server (the options: the usage below)
//   xsvf serve          serve a simulated card over the remote-bitbang protocol
//   xsvf state PATH     the cards of a state file as the next power-on finds them
//   xsvf faults         the simulated faults that --fault and MOLA_SIM_FAULTS take, as the
//                       README's table
//   xsvf --help, xsvf -h  the usage, on standard output
//
// FILE may be @pci or @cardbus, the embedded programs. Standard output carries only what
// the subcommand is for (for play: exactly the player's diagnostic log); everything else
// goes to standard error.
//
// Exit status: --help 0; check and dis 0 for a playable stream, 1 otherwise; play the
// player's result (0 to 7); serve 0; the tool's own failures as xsvf_tool.h's EXIT_* name them.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "devtools/xsvf/xsvf_tool.h"
#include "sim/sim_fault_table.h"

// The usage, on standard output when asked for (--help), on standard error otherwise.
static void xsvf_print_usage(std::FILE* to)
{
    std::fputs("usage: xsvf check FILE\n"
               "       xsvf dis FILE\n"
               "       xsvf cat @pci|@cardbus\n"
               "       xsvf play FILE [--log-level N] [--tdo 0|1|BITS] [--trace TRACEFILE]\n"
               "                      [--target record|sim|rbb:HOST:PORT|rbb:unix:PATH]\n"
               "                      [--card pci|cardbus] [--fault NAME[,NAME...]]\n"
               "                      [--state PATH] [--cut-power-at N]\n"
               "                      [--vcd VCDFILE [--vcd-commands FIRST-LAST]] [--remote-sleep]\n"
               "       xsvf serve [--card pci|cardbus] [--fault NAME[,NAME...]] [--port N | --unix PATH]\n"
               "                  [--sessions N] [--clock host|virtual [--tck-hz N]] [--state PATH]\n"
               "       xsvf state PATH\n"
               "       xsvf faults\n"
               "       xsvf --help\n"
               "FILE may be @pci or @cardbus, the embedded programs.\n",
               to);
    std::fprintf(to, "--fault NAME: %s (serve: the card faults)\n", sim_fault_names().c_str());
}

int xsvf_usage()
{
    xsvf_print_usage(stderr);
    return EXIT_USAGE;
}

int xsvf_usage_error(const std::string& message)
{
    std::fprintf(stderr, "xsvf: %s\n", message.c_str());
    return xsvf_usage();
}

int xsvf_finish_output(int status)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && std::ferror(stdout) == 0) {
        return status;
    }
    const int error = errno;
    std::fprintf(stderr, "xsvf: cannot write standard output%s%s\n", error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
    return EXIT_IO_ERROR;
}

CLI::Validator xsvf_number(std::int32_t low, std::int32_t high)
{
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            std::int32_t v = 0;
            if (!sim_parse_int32(text.data(), text.size(), &v) || v < low || v > high) {
                return "takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                       ", not " + text;
            }
            text = std::to_string(v); // decimal, as CLI11 reads it
            return "";
        },
        "N");
}

CLI::Validator xsvf_card_key()
{
    return CLI::Validator(
        [](const std::string& key) { return card_model_by_key(key) < 0 ? "is " + sim_model_keys("", " or ") : ""; },
        "CARD");
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        return xsvf_usage();
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        if (argc > 2) {
            return xsvf_usage_error(std::string("unexpected argument ") + argv[2]);
        }
        xsvf_print_usage(stdout);
        return xsvf_finish_output(0);
    }
    CLI::App app("xsvf");
    app.set_help_flag();
    // The subcommands that take one argument, named as the usage names it, and faults, which
    // takes none.
    const struct {
        const char* name;
        int (*run)(const char*);
        const char* argument;
    } singles[] = {{"check", xsvf_check, "FILE"}, {"dis", xsvf_dis, "FILE"}, {"cat", xsvf_cat, "NAME"},
                   {"state", xsvf_state, "PATH"}, {"faults", nullptr, nullptr}};
    std::string file;
    std::map<std::string, XsvfCommand> runs; // by subcommand
    for (const auto& single : singles) {
        CLI::App* sub = app.add_subcommand(single.name);
        sub->allow_extras();
        if (single.run) {
            sub->add_option(single.argument, file)->required();
        }
        runs[single.name] = [&file, &single] { return single.run ? single.run(file.c_str()) : xsvf_faults(); };
    }
    runs["play"] = xsvf_play_command(&app);
    runs["serve"] = xsvf_serve_command(&app);
    if (runs.count(command) == 0) {
        return xsvf_usage_error("unknown command " + command);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return xsvf_usage_error(e.what());
    }
    const CLI::App* given = app.get_subcommands().front();
    if (!given->remaining().empty()) {
        return xsvf_usage_error("unexpected argument " + given->remaining().front());
    }
    return runs[command]();
}
