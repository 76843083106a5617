#include "engine.h"

#include "messages.h"
#include "request.h"

namespace vexo {

std::string errorMessage(int number) { return text::errorText(number, {}); }

std::string errorMessage(const RuntimeError& e, const std::map<std::string, std::string>& shownAs) {
  const auto it = shownAs.find(e.file());
  return text::errorText(e.number(), it == shownAs.end() ? e.file() : it->second);
}

std::string createTemporary(FileServices& fs, int f, const std::string& tag, const std::string& shownName) {
  for (int n = 1;; ++n) {
    const std::string name = ".vexo-" + tag + "-" + std::to_string(n) + ".tmp";
    try {
      fs.createNew(name, f);
      return name;
    } catch (const RuntimeError& e) {
      // Another request's (or a killed one's) file: take the next number.
      if (e.number() != err::FileAlreadyExists || n >= 1000) throw RuntimeError(e.number(), e.what(), shownName);
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

void SetFileDateTime(FileServices& fs, UserInterface& ui, const std::string& name,
                     const FileDateTime& dt) {
  SetFileDateTime(fs, ui, name, dt, name);
}

void SetFileDateTime(FileServices& fs, UserInterface& ui, const std::string& name,
                     const FileDateTime& dt, const std::string& shownName) {
  if (!fs.setFileDateTime(name, dt)) ui.message("SetFileDateTime Error File=" + shownName);
}

void proc1(FileServices& fs, UserInterface& ui, const Job& job) {
  int f = 0;
  try {
    f = fs.freeFile();
  } catch (const RuntimeError& e) {
    ui.message(errorMessage(e));
    return;
  }
  Request r{fs, ui, job, job.chosen, analyseName(job.chosen), f};
  if (r.name.isPiece())
    join(r);
  else
    split(r);
}

}  // namespace vexo
