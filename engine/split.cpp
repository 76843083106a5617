// Splitting a file into pieces of the chosen size.
#include <vector>

#include "block_copy.h"
#include "engine.h"
#include "request.h"

namespace vexo {
namespace {

const std::string kTooSmall = "ファイルが指定サイズより小さいので分割しませんでした。";
const std::string kPiecesLeft = "途中までの分割ファイルを削除できませんでした．";
const std::string kWouldOverwriteSource =
    "分割ファイルの名前が元のファイルと同じになるので分割できません．";

// True when one of the pieces the split will write is the source itself,
// by name or as another name of the same file.
bool pieceWouldBeSource(Request& r, std::int64_t size, std::int32_t pieceSize, bool shortNaming) {
  const auto source = r.fs.identity(r.chosen);
  const std::int64_t pieces = size / pieceSize + 1;
  for (std::int64_t k = 1; k <= pieces; ++k) {
    const std::string piece = splitPieceName(r.chosen, r.name, k, shortNaming);
    if (piece == r.chosen) return true;
    if (source) {
      const auto id = r.fs.identity(piece);
      if (id && *id == *source) return true;
    }
  }
  return false;
}

}  // namespace

void split(Request& r) {
  FileServices& fs = r.fs;
  UserInterface& ui = r.ui;
  const int f = r.f;
  std::vector<std::string> written;  // pieces this split has opened for writing
  try {
    const std::int64_t size = fs.fileLen(r.chosen);
    const FileDateTime dt = fs.fileDateTime(r.chosen);
    const FileAttributes attributes = fs.getAttr(r.chosen);

    const auto pieceSize = static_cast<std::int32_t>(ui.pieceSize());
    if (!(pieceSize < size)) {
      ui.message(kTooSmall);
      return;
    }
    // Each piece is normal blocks of 30,000 bytes and one final block.
    const int normalBlocks = pieceSize / static_cast<std::int32_t>(kNormalBlock);
    const std::size_t finalBlock = static_cast<std::size_t>(pieceSize) % kNormalBlock;

    if (pieceWouldBeSource(r, size, pieceSize, ui.check1() != 0)) {
      ui.message(kWouldOverwriteSource);
      return;
    }

    BlockCopier copier(fs);
    fs.openRead(r.chosen, f);
    for (std::int64_t k = 1; !fs.eof(f);) {
      const std::string piece = splitPieceName(r.chosen, r.name, k, ui.check1() != 0);
      fs.openWrite(piece, f + 1, /*truncate=*/true);
      written.push_back(piece);
      ui.statusText("分割中 " + piece);

      bool last = false;
      copier.setLength(kNormalBlock);
      last = copier.blockSteps(f, f + 1, size, normalBlocks);
      if (!last) {
        copier.setLength(finalBlock);
        last = copier.blockStep(f, f + 1, size);
      }

      fs.close(f + 1);
      if (!last) ++k;
      SetFileDateTime(fs, ui, piece, dt);
      fs.setAttr(piece, attributes);
      if (last) break;
    }
    fs.close(f);
    ui.clearStatus();
    ui.message("分割完了");
    ui.refreshFileList();
  } catch (const RuntimeError& e) {
    // No incomplete set of pieces is left behind to be joined later; the
    // source is only ever read. A piece that cannot be removed is named, so
    // that it is not mistaken for part of a whole set.
    ui.message(errorMessage(e.number()));
    fs.closeAll();
    std::string left;
    for (const auto& piece : written) {
      try {
        fs.kill(piece);
      } catch (const RuntimeError& k) {
        if (k.number() != err::FileNotFound) left += (left.empty() ? "" : " ") + piece;
      }
    }
    if (!left.empty()) ui.message(kPiecesLeft + left);
    ui.clearStatus();
    ui.refreshFileList();
  }
}

}  // namespace vexo
