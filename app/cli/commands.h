// The commands of vexo-cli, their options, and the exit status they end
// with. A command is one row of a table: its name, its synopsis, its
// options and the routine that runs it; adding a command adds a row.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_ui.h"
#include "file_services.h"

namespace vexo::cli {

// Exit status.
inline constexpr int kExitDone = 0;        // done; check: whole and verified
inline constexpr int kExitFailed = 1;      // failed, or refused
inline constexpr int kExitUsage = 2;       // wrong usage
inline constexpr int kExitIncomplete = 3;  // check: incomplete, or not matching the record
inline constexpr int kExitStopped = 130;   // stopped by Ctrl-C or SIGTERM

struct OptionSpec {
  char shortName;        // '\0' for none
  const char* longName;  // without "--"
  const char* value;     // name of its value ("SIZE"), nullptr for a switch
  const char* help;
};

// A command line as parsed: the options given (a switch's value is "") and
// the operands.
struct Invocation {
  Answers answers;
  std::map<std::string, std::string> options;  // by long name
  std::vector<std::string> operands;
  bool has(const std::string& longName) const { return options.count(longName) != 0; }
};

struct Command {
  const char* name;
  const char* operands;  // "FILE", "PIECE"
  const char* summary;
  std::vector<OptionSpec> options;
  int (*run)(const Invocation& call, CliUi& ui, FileServices& fs);
};

const std::vector<Command>& commands();

// Runs the program for the arguments (UTF-8, without the program's name)
// and returns its exit status.
int runCli(const std::vector<std::string>& args);

}  // namespace vexo::cli
