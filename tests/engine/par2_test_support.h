// What the recovery-data tests share: par2cmdline when it is installed,
// damage to a file, and the set's files in the current directory.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "doubles.h"
#include "par2.h"

namespace vexo::test {

inline bool havePar2() {
#ifdef _WIN32
  return false;
#else
  return std::system("command -v par2 >/dev/null 2>&1") == 0;
#endif
}

// par2's exit status for the arguments, run quietly in the current directory.
inline int runPar2(const std::string& args) {
  const int status = std::system(("par2 " + args + " >/dev/null 2>&1").c_str());
#ifdef _WIN32
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// One byte of the file changed in place.
inline void flipByte(const std::string& name, std::size_t at) {
  std::string bytes = readFile(name);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  writeFile(name, bytes);
}

// The files here that end in ".par2", sorted.
inline std::vector<std::string> setFilesHere() {
  std::vector<std::string> names;
  for (const auto& name : filesHere())
    if (par2::isSetFile(name)) names.push_back(name);
  return names;
}

}  // namespace vexo::test
