// What one split or join request works with.
#pragma once

#include <string>
#include <vector>

#include "file_services.h"
#include "names.h"
#include "user_interface.h"

namespace vexo {

struct Request {
  FileServices& fs;
  UserInterface& ui;
  std::string chosen;  // the bare file name the user chose
  NameAnalysis name;
  int f = 0;  // first of the two file numbers the request uses
};

void split(Request& r);
void join(Request& r);

// The message shown for a runtime error inside a request.
std::string errorMessage(int number);

// Creates a new hidden file in the current directory (".vexo-TAG-N.tmp",
// the first N free) for writing as file f; returns its name.
std::string createTemporary(FileServices& fs, int f, const std::string& tag);

// Removes the named files, skipping those already gone; returns the names
// of those that could not be removed, separated by blanks.
std::string removeAll(FileServices& fs, const std::vector<std::string>& names);

}  // namespace vexo
