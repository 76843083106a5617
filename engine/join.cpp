// Joining a set of pieces back into the file they came from.
#include <optional>

#include "block_copy.h"
#include "engine.h"
#include "request.h"

namespace vexo {
namespace {

const std::string kBadExtension = "拡張子に使えない文字が含まれています．";
const std::string kBadJoinedName = "結合後のファイル名が正しくありません．";
const std::string kJoinedIsPiece =
    "結合後のファイル名が分割ファイルの名前と同じになるので結合できません．";

bool safeExtension(const std::string& extension) {
#ifdef _WIN32
  const char* forbidden = "/\\:*?\"<>|";
#else
  const char* forbidden = "/";
#endif
  for (char c : extension)
    if (c == '\0' || std::char_traits<char>::find(forbidden, std::char_traits<char>::length(forbidden), c))
      return false;
  return true;
}

// Runs one of the probes of a piece. A missing piece (53) is how the set
// ends: it sets the not-found flag and the join goes on; any other error
// stops the join.
template <typename Probe>
void probe(bool& notFound, Probe&& p) {
  try {
    p();
  } catch (const RuntimeError& e) {
    if (e.number() != err::FileNotFound) throw;
    notFound = true;
  }
}

}  // namespace

void join(Request& r) {
  FileServices& fs = r.fs;
  UserInterface& ui = r.ui;
  const int f = r.f;
  std::string extension;
  std::string joined;
  bool copying = false;  // the joined file has been shortened and is being written
  try {
    if (ui.check1() != 0) {
      ui.showExtensionPrompt();
      extension = ui.extensionText();
    }
    if (ProceedFlag == kFalse) return;

    const std::string& base = r.name.base;
    if (!safeExtension(extension)) {
      ui.message(kBadExtension);
      return;
    }
    joined = joinedFileName(base, extension);
    if (joined.empty() || joined == "." || joined == "..") {
      ui.message(kBadJoinedName);
      return;
    }
    // Nothing is written when the joined file would be one of the pieces.
    const auto joinedId = fs.identity(joined);
    for (std::int64_t k = 1;; ++k) {
      const std::string piece = joinPieceName(base, extension, k);
      const auto id = fs.identity(piece);
      if (!id) break;
      if (piece == joined || (joinedId && *id == *joinedId)) {
        ui.message(kJoinedIsPiece);
        return;
      }
    }

    ui.statusText("結合中 " + joined);
    // An existing joined file is only shortened once piece 1 is open, so it
    // keeps its bytes when there is no piece 1.
    fs.openWrite(joined, f, /*truncate=*/false);

    BlockCopier copier(fs);
    bool notFound = false;
    std::int64_t size = 0;
    FileDateTime dt{};
    FileAttributes attributes = 0;
    std::int64_t k = 1;
    for (;; ++k) {
      copier.setLength(kNormalBlock);
      const std::string piece = joinPieceName(base, extension, k);
      probe(notFound, [&] { size = fs.fileLen(piece); });
      probe(notFound, [&] { dt = fs.fileDateTime(piece); });
      probe(notFound, [&] { attributes = fs.getAttr(piece); });
      if (notFound) break;

      fs.openRead(piece, f + 1);
      if (k == 1) {
        fs.truncate(f);
        copying = true;
      }
      while (!fs.eof(f + 1))
        if (copier.blockStep(f + 1, f, size)) break;
      fs.close(f + 1);
    }
    fs.close(f);
    copying = false;

    if (k > 1) {
      // Stamped with the last piece found, which the split gave the source's
      // time and attributes. Without any piece an existing file is left alone.
      SetFileDateTime(fs, ui, joined, dt);
      fs.setAttr(joined, attributes);
    } else if (!joinedId) {
      // Do not leave an empty file behind that looks like a joined one.
      fs.kill(joined);
    }

    ui.clearStatus();
    ui.message("結合完了");
    ui.refreshFileList();

    if (ui.question("分割ファイルを削除しますか？") == kAnswerYes) {
      for (std::int64_t i = 1; i <= k - 1; ++i) {
        bool gone = false;  // a piece that has disappeared meanwhile is skipped
        probe(gone, [&] { fs.kill(joinPieceName(base, extension, i)); });
      }
      ui.refreshFileList();
    }
  } catch (const RuntimeError& e) {
    ui.message(errorMessage(e.number()));
    fs.closeAll();
    if (copying) {
      // A partly written joined file must not pass for the whole one; the
      // pieces are all still there to join again.
      try {
        fs.kill(joined);
      } catch (const RuntimeError&) {
      }
      ui.refreshFileList();
    }
  }
}

}  // namespace vexo
