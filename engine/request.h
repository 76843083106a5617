// What one split or join request works with.
#pragma once

#include <string>

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

}  // namespace vexo
