// The terminal the command-line program talks to: its two output streams,
// questions read from standard input when it is a terminal, and the stop
// that Ctrl-C (and SIGTERM, or closing the console on Windows) asks for.
// Everything is UTF-8; on a Windows console it is shown as UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexo::cli {

bool inputIsTerminal();
bool errorIsTerminal();
// Columns of the terminal on standard error (80 when it cannot be told).
int errorColumns();

// Writes the text as it is (UTF-8) to standard output or standard error.
void writeOut(std::string_view text);
void writeErr(std::string_view text);

// One line typed on the terminal, without its line end; nothing at the end
// of input or when a stop was asked for while waiting.
std::optional<std::string> readLine();

// From now on Ctrl-C and SIGTERM (a console's Ctrl-C, Ctrl-Break and
// closing on Windows) only set the stop flag.
void installStopHandlers();
bool stopAsked();

// The path as an absolute one (bytes kept, nothing resolved).
std::string absolutePath(const std::string& path);
// Splits a path into its folder ("" for none: the current directory) and
// the bare name after the last separator.
void splitPath(const std::string& path, std::string& folder, std::string& name);

}  // namespace vexo::cli
