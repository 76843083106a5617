// What one split or join request works with.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "file_services.h"
#include "job.h"
#include "names.h"
#include "user_interface.h"

namespace vexo {

struct Request {
  FileServices& fs;
  UserInterface& ui;
  const Job& job;
  std::string chosen;  // the bare file name the user chose
  NameAnalysis name;
  int f = 0;  // first of the two file numbers the request uses
  // Names that differ only in letter case name the same file (a file
  // system that ignores case).
  bool ignoreCase = false;
};

void split(Request& r);
void join(Request& r);

// The message shown for a runtime error inside a request: its number, and
// on a second line the file's name and the reason. A hidden file is named
// as the file it is to become (shownAs).
std::string errorMessage(int number);
std::string errorMessage(const RuntimeError& e, const std::map<std::string, std::string>& shownAs = {});

// Creates a new hidden file in the current directory (".vexo-TAG-N.tmp",
// the first N free) for writing as file f; returns its name. A failure
// names the file it is to become (shownName).
std::string createTemporary(FileServices& fs, int f, const std::string& tag, const std::string& shownName);

// Removes the named files, skipping those already gone; returns the names
// of those that could not be removed, separated by blanks.
std::string removeAll(FileServices& fs, const std::vector<std::string>& names);

}  // namespace vexo
