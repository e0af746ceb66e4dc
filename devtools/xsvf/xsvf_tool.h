// The xsvf developer tool's pieces: loading a stream, the subcommands and their exit codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace CLI {
class App;
class Validator;
} // namespace CLI

// Exit statuses of the tool's own failures. play exits with the player's result (0 to 7),
// so its own failures use codes far from those.
inline constexpr int EXIT_USAGE = 64;       // bad command line
inline constexpr int EXIT_NO_INPUT = 66;    // FILE cannot be read
inline constexpr int EXIT_UNAVAILABLE = 69; // the card cannot be mapped, or a socket connected or opened
inline constexpr int EXIT_CANT_WRITE = 73;  // the trace or the VCD cannot be written
inline constexpr int EXIT_IO_ERROR = 74;    // standard output cannot be written
inline constexpr int EXIT_LINK_FAILED = 76; // the connection to a remote-bitbang server broke

// Files larger than this are refused: no program comes near it.
inline constexpr std::uint32_t MAX_FILE_BYTES = 16u * 1024 * 1024;

// A stream to work on: a file read into memory, or one of the embedded programs.
struct Stream {
    std::vector<std::uint8_t> owned;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
};

// Loads FILE, or @pci / @cardbus; prints why on standard error and returns false on failure.
bool xsvf_load(const char* name, Stream* s);

// Prints the usage on standard error and returns EXIT_USAGE.
int xsvf_usage();
// Says what is wrong with the command line ("xsvf: message"), then prints the usage.
int xsvf_usage_error(const std::string& message);

// Flushes standard output. When anything written to it was lost, says so on standard
// error and returns EXIT_IO_ERROR; otherwise returns status.
int xsvf_finish_output(int status);

int xsvf_check(const char* name);
int xsvf_dis(const char* name);
int xsvf_cat(const char* name);

// play and serve: each adds its subcommand and its options to the command line, one
// add_option per option, and returns the run with what was parsed.
using XsvfCommand = std::function<int()>;
XsvfCommand xsvf_play_command(CLI::App* app);
XsvfCommand xsvf_serve_command(CLI::App* app);
// An option's whole number, from low to high, read as a signed 32-bit decimal (sim_parse_int32).
CLI::Validator xsvf_number(std::int32_t low, std::int32_t high);
// A card model's key (pci, cardbus).
CLI::Validator xsvf_card_key();
// The fault table as the README shows it: a Markdown table on standard output.
int xsvf_faults();
// The cards of a state file (sim/sim_state.h) as the next power-on finds them: one line each
// on standard output with the revision the card reports and what its memory holds.
int xsvf_state(const char* path);

struct SimCard;
// One line after prefix: which configuration the card's memory holds, if any.
void xsvf_report_card(std::FILE* out, const char* prefix, const SimCard* card);
