#include "engine.h"

#include "request.h"

namespace vexo {

std::int16_t ProceedFlag = kTrue;

std::string errorMessage(int number) { return "エラーです．エラー番号:" + std::to_string(number); }

void SetFileDateTime(FileServices& fs, UserInterface& ui, const std::string& name,
                     const FileDateTime& dt) {
  if (!fs.setFileDateTime(name, dt)) ui.message("SetFileDateTime Error File=" + name);
}

void proc1(FileServices& fs, UserInterface& ui, const std::string& name) {
  ProceedFlag = kTrue;
  int f = 0;
  try {
    f = fs.freeFile();
  } catch (const RuntimeError& e) {
    ui.message(errorMessage(e.number()));
    return;
  }
  Request r{fs, ui, name, analyseName(name), f};
  if (r.name.isPiece())
    join(r);
  else
    split(r);
}

}  // namespace vexo
