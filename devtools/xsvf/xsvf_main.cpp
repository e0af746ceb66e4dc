// xsvf: a developer tool for XSVF programs.
//
//   xsvf check FILE     walk the stream; print the command count and a table of commands
//   xsvf dis FILE       one line per command: offset, number, mnemonic, operands
//   xsvf cat NAME       write an embedded program (@pci, @cardbus) to standard output
//   xsvf play FILE [--log-level N] [--tdo 0|1|BITS] [--trace TRACEFILE]
//                  [--target record|sim|rbb:HOST:PORT|rbb:unix:PATH]
//                  [--card pci|cardbus] [--fault NAME[,NAME...]]
//                  [--vcd VCDFILE [--vcd-commands FIRST-LAST]]
//   xsvf serve [--card pci|cardbus] [--fault NAME[,NAME...]] [--port N | --unix PATH]
//              [--sessions N]
//                       serve a simulated card over the remote-bitbang protocol
//
// FILE may be @pci or @cardbus, the embedded programs. Standard output carries only what
// the subcommand is for (for play: exactly the player's diagnostic log); everything else
// goes to standard error.
//
// Exit status: check and dis 0 for a clean stream, 1 otherwise; play the player's result
// (0 to 6); serve 0; the tool's own failures 64 (usage), 66 (FILE unreadable), 69 (card
// or server unavailable), 73 (trace or VCD not written), 74 (connection to the server broke).
#include <cstdio>
#include <string>

#include "devtools/xsvf/xsvf_tool.h"

int xsvf_usage()
{
    std::fputs("usage: xsvf check FILE\n"
               "       xsvf dis FILE\n"
               "       xsvf cat @pci|@cardbus\n"
               "       xsvf play FILE [--log-level N] [--tdo 0|1|BITS] [--trace TRACEFILE]\n"
               "                      [--target record|sim|rbb:HOST:PORT|rbb:unix:PATH]\n"
               "                      [--card pci|cardbus] [--fault NAME[,NAME...]]\n"
               "                      [--vcd VCDFILE [--vcd-commands FIRST-LAST]]\n"
               "       xsvf serve [--card pci|cardbus] [--fault NAME[,NAME...]] [--port N | --unix PATH]\n"
               "                  [--sessions N]\n"
               "FILE may be @pci or @cardbus, the embedded programs.\n",
               stderr);
    return EXIT_USAGE;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "serve") {
        return xsvf_serve(argc - 2, argv + 2);
    }
    if (argc < 3) {
        return xsvf_usage();
    }
    const std::string command = argv[1];
    if (command == "check" && argc == 3) {
        return xsvf_check(argv[2]);
    }
    if (command == "dis" && argc == 3) {
        return xsvf_dis(argv[2]);
    }
    if (command == "cat" && argc == 3) {
        return xsvf_cat(argv[2]);
    }
    if (command == "play") {
        return xsvf_play(argc - 2, argv + 2);
    }
    return xsvf_usage();
}
