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
  int f = 0;  // first of the file numbers the request uses (f, f + 1, f + 2)
  // Names that differ only in letter case name the same file (a file
  // system that ignores case).
  bool ignoreCase = false;
  // The folder the products go to: a split's pieces and record, a join's
  // joined file (null: fs, the chosen file's folder). Temporaries are made
  // there, so that they take their names by renaming.
  FileServices* output = nullptr;
  FileServices& out() { return output ? *output : fs; }
  // Whether the products go to the chosen file's folder itself.
  bool sameFolder = true;
};

// The folder a request writes into, as the summary names it: the job's
// output folder, else the current directory (the chosen file's folder).
std::string outputFolderOf(Request& r);

void split(Request& r);
void join(Request& r);

// The message shown for a runtime error inside a request: its number, and
// on a second line the file's name and the reason. A hidden file is named
// as the file it is to become (shownAs).
std::string errorMessage(int number);
std::string errorMessage(const RuntimeError& e, const std::map<std::string, std::string>& shownAs = {});

// Creates a new hidden file in the current folder (".vexo-TAG-N.tmp", the
// first N free) for writing as file f; returns its name. A failure names
// the file it is to become (shownName). Requests that can keep the file
// open until it is named use FileServices::createTemporary instead.
std::string createTemporary(FileServices& fs, int f, const std::string& tag, const std::string& shownName);

// Shows why the file system cannot hold the name as given, and says so;
// false when it can. Checked for every name a request reads or writes,
// before anything is written.
bool refuseUnusableName(FileServices& fs, UserInterface& ui, const std::string& name);

// After Yes to deleting the pieces: the joined file, open as f in dest, is
// flushed and its folder synced (the status line saying so) before the
// first of `going` is deleted, then closed. Each is deleted on its own: one
// gone meanwhile is skipped, one that cannot be deleted (held open by
// another program) is named with the reason, and the rest still go.
void deleteAfterJoin(FileServices& fs, FileServices& dest, UserInterface& ui, int f,
                     const std::vector<std::string>& going);

// Removes the named files, skipping those already gone; returns the names
// of those that could not be removed, separated by blanks.
std::string removeAll(FileServices& fs, const std::vector<std::string>& names);

}  // namespace vexo
