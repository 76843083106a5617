// vexo-cli: splits a file into pieces, joins a set of pieces, and checks a
// set, on the command line, with the same engine as the window.
#include <string>
#include <vector>

#include "commands.h"

#ifdef _WIN32
#include "utf16.h"

// The console program's arguments arrive as UTF-16 and are handed on as UTF-8.
int wmain(int argc, wchar_t* argv[]) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(vexo::toUtf8(argv[i]));
  return vexo::cli::runCli(args);
}
#else
int main(int argc, char* argv[]) {
  // Names are bytes: handed on as the shell gave them.
  return vexo::cli::runCli(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
