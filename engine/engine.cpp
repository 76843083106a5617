#include "engine.h"

#include <optional>

#include "messages.h"
#include "system_errors.h"
#include "request.h"

namespace vexo {

std::string errorMessage(int number) { return text::errorText(number, {}); }

std::string errorMessage(const RuntimeError& e, const std::map<std::string, std::string>& shownAs) {
  const auto it = shownAs.find(e.file());
  const std::string& file = it == shownAs.end() ? e.file() : it->second;
  logSystemError(e.number(), e.what(), e.reason());
  return text::errorText(e.number(), file, e.reason());
}

void SetFileDateTime(FileServices& fs, UserInterface& ui, int f, const FileDateTime& dt, const std::string& shownName) {
  if (!fs.stampOpen(f, dt)) ui.message("SetFileDateTime Error File=" + shownName);
}

std::string createTemporary(FileServices& fs, int f, const std::string& tag, const std::string& shownName) {
  for (int n = 1;; ++n) {
    const std::string name = ".vexo-" + tag + "-" + std::to_string(n) + ".tmp";
    try {
      fs.createNew(name, f);
      return name;
    } catch (const RuntimeError& e) {
      // Another request's (or a killed one's) file: take the next number.
      if (e.number() != err::FileAlreadyExists || n >= 1000) throw RuntimeError(e.number(), e.what(), shownName, e.reason());
    }
  }
}

std::string removeAll(FileServices& fs, const std::vector<std::string>& names) {
  std::string left;
  for (const auto& name : names) {
    try {
      fs.kill(name);
    } catch (const RuntimeError& k) {
      if (k.number() != err::FileNotFound) left += (left.empty() ? "" : " ") + name;
    }
  }
  return left;
}

void deleteAfterJoin(FileServices& fs, FileServices& dest, UserInterface& ui, int f,
                     const std::vector<std::string>& going) {
  ui.statusText(text::kWritingToDisk);
  dest.flush(f);
  dest.syncFolder();
  dest.close(f);
  ui.clearStatus();
  std::vector<std::string> left;
  for (const std::string& name : going) {
    try {
      fs.kill(name);
    } catch (const RuntimeError& e) {
      if (e.number() != err::FileNotFound)
        left.push_back(name + "：" + text::errorReason(e.number()) +
                       (e.reason().empty() ? "" : "（" + e.reason() + "）"));
    }
  }
  ui.refreshFileList();
  if (!left.empty()) ui.message(text::notDeleted(left));
}

bool refuseUnusableName(FileServices& fs, UserInterface& ui, const std::string& name) {
  const std::string why = fs.nameProblem(name);
  if (why.empty()) return false;
  ui.message(text::unusableName(name, why));
  return true;
}

namespace {

// Runs a request for the chosen name in the folder the window shows, the
// products going to the output folder (empty: the same folder). Both are opened
// from their paths as the request starts, and every name resolves against
// them, whatever the process's current directory is.
void run(FileServices& fs, UserInterface& ui, const Job& job) {
  const std::string& folder = job.folder;
  const std::string& outputFolder = job.outputFolder;
  std::optional<OpenedFolder> in, out;
  try {
    in.emplace(fs, folder);
  } catch (const RuntimeError& e) {
    ui.message(e.number() == err::PathNotFound ? text::folderNotFound(folder) : errorMessage(e));
    return;
  }
  const bool separate = !outputFolder.empty() && outputFolder != folder;
  if (separate) {
    try {
      out.emplace(fs, outputFolder);
    } catch (const RuntimeError& e) {
      ui.message(e.number() == err::PathNotFound ? text::folderNotFound(outputFolder) : errorMessage(e));
      return;
    }
  }
  FileServices& products = separate ? out->files() : in->files();
  // A folder chosen for the products only must take them. (In the chosen
  // file's own folder a request that writes nothing says why itself.)
  if (separate && !products.folderWritable()) {
    ui.message(text::folderNotWritable(outputFolder));
    return;
  }
  int f = 0;
  try {
    f = fs.freeFile();
  } catch (const RuntimeError& e) {
    ui.message(errorMessage(e));
    return;
  }
  // A name the file system would take for another file (or a device) is
  // not used at all.
  if (refuseUnusableName(fs, ui, job.chosen)) return;
  Request r{in->files(), ui, job, job.chosen, analyseName(job.chosen), f};
  r.output = &products;
  r.sameFolder = !separate || in->files().identity(".") == products.identity(".");
  r.ignoreCase = fs.namesIgnoreCase();
  if (r.name.isPiece())
    join(r);
  else
    split(r);
}

}  // namespace

std::string outputFolderOf(Request& r) {
  if (!r.job.outputFolder.empty()) return r.job.outputFolder;
  if (!r.job.folder.empty()) return r.job.folder;
  try {
    return r.fs.curDir();
  } catch (const RuntimeError&) {
    return ".";
  }
}

void proc1(FileServices& fs, UserInterface& ui, const Job& job) { run(fs, ui, job); }

}  // namespace vexo
