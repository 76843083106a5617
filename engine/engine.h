// The split/join request: decides from a file name whether to split the
// file or to join the set of pieces it belongs to, and does it.
#pragma once

#include <cstdint>
#include <string>

#include "file_services.h"
#include "job.h"
#include "user_interface.h"

namespace vexo {

// Runs one request on the caller's thread: joins the set the chosen file
// belongs to when its name is a piece's, else splits it. The outcome
// reaches the user only through ui.
void proc1(FileServices& fs, UserInterface& ui, const Job& job);

// Stamps the open file f with the date-time (last-write time only), through
// the open file rather than by its name. A file whose time cannot be set is
// reported with "SetFileDateTime Error File=" + shownName, the name it has
// or is to take.
void SetFileDateTime(FileServices& fs, UserInterface& ui, int f, const FileDateTime& dt, const std::string& shownName);

}  // namespace vexo
