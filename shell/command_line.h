// The program's command line, read before any window exists.
//
// How it works: getopt_long reads the options in tio's and picocom's manner (`--baud 57600`,
// `--baud=57600`, `-b57600`, a unique prefix of a long name). A line setting given plainly
// (`-b`, `--parity`) is for both terminal ports; one given with `-a` or `-b` at the end of its long
// name is for that port alone and wins over the plain one, whatever their order; a setting given
// twice keeps its last value. Every value is checked here and turned into the text its control
// would show ("even" -> "EVEN"), so a bad value ends the program with a usage line before a window
// could open. --help, --version and --list need no display.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shell/start_settings.h"

enum class StartAction { Run, Help, Version, List, Error };

struct CommandLine {
  StartAction action = StartAction::Run;
  StartSettings settings;
  std::string error;  // for Error: what was wrong, one line
};

// Exit statuses: a finished answer, and a command line that could not be read.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 2;

// `arguments` as main receives them, the program's name first.
CommandLine parse_command_line(std::span<char* const> arguments);

// For every action but Run: prints the help, the version, the port list or the error with a
// usage line (stdout, or stderr for an error) and returns the exit status.
int win_answer_command_line(const CommandLine& line, std::FILE* out, std::FILE* err);

// The long option names the program takes (without their "--").
std::vector<std::string> command_line_option_names();

// `text` as the option `name` (a long name without its "--": "baud-a", "port-b", "view") takes it,
// turned into the text its control shows ("even" -> "EVEN"); nothing when the option refuses it or
// takes no such value.
std::optional<std::string> command_line_value(std::string_view name, std::string_view text);
