// Splitting a file into pieces of the chosen size, with a record of the set.
#include <algorithm>
#include <map>
#include <vector>

#include "block_copy.h"
#include "engine.h"
#include "messages.h"
#include "record.h"
#include "request.h"

namespace vexo {
namespace {

// The source changed while it was being split.
struct SourceChanged {};

// What is in the directory under the names the split will write.
struct Plan {
  std::map<std::int64_t, std::string> clashes;  // pieces 1..count already there
  std::vector<std::string> stale;                // same-named pieces beyond count
  bool recordThere = false;
};

}  // namespace

void split(Request& r) {
  FileServices& fs = r.fs;
  UserInterface& ui = r.ui;
  const int f = r.f;
  std::vector<std::string> written;  // files this split has made; removed when it fails
  std::map<std::string, std::string> shownAs;  // hidden files by the names they become
  try {
    const std::int64_t size = fs.fileLen(r.chosen);
    const FileDateTime dt = fs.fileDateTime(r.chosen);
    const FileAttributes attributes = fs.getAttr(r.chosen);

    const std::int64_t pieceSize = r.job.pieceSize;
    if (!(pieceSize < size) || pieceSize < 1) {
      ui.message(text::kTooSmall);
      return;
    }
    // Each piece is normal blocks of 30,000 bytes and one final block of
    // the rest (none when the size is a multiple of 30,000).
    const std::int64_t normalBlocks = pieceSize / static_cast<std::int64_t>(kNormalBlock);
    const auto finalBlock = static_cast<std::size_t>(pieceSize % static_cast<std::int64_t>(kNormalBlock));
    // A source that is an exact multiple of the size ends with an empty piece.
    const std::int64_t count = size / pieceSize + 1;

    const bool shortNaming = r.job.shortNaming;
    const int width = std::max(1, r.job.digits);
    const std::string pieceBase = splitPieceBase(r.chosen, r.name, shortNaming);
    const std::string record = recordName(pieceBase);
    auto pieceName = [&](std::int64_t k) { return splitPieceName(r.chosen, r.name, k, shortNaming, width); };

    // Nothing is written before every name the split will write is known to
    // be free, or a regular file the user agrees to replace.
    Plan plan;
    for (const std::string& name : fs.listDirectory()) {
      if (const std::int64_t k = pieceNumberOf(name, pieceBase, width); k != 0) {
        if (k <= count) plan.clashes[k] = name;
        else plan.stale.push_back(name);
      } else if (name == record) {
        plan.recordThere = true;
      }
    }
    const auto source = fs.identity(r.chosen);
    for (const auto& [k, name] : plan.clashes) {
      if (name == r.chosen || (source && fs.identity(name) == source)) {
        ui.message(text::kWouldOverwriteSource);
        return;
      }
      if (fs.kind(name, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(name));
        return;
      }
    }
    if (plan.recordThere) {
      if (fs.kind(record, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(record));
        return;
      }
      if (!readRecord(fs, record, f)) {
        ui.message(text::notARecord(record));
        return;
      }
    }
    const bool replacing = !plan.clashes.empty() || plan.recordThere;
    if (replacing) {
      const std::string first = plan.clashes.empty() ? record : plan.clashes.begin()->second;
      const std::size_t n = plan.clashes.size() + (plan.recordThere ? 1 : 0);
      if (ui.questionNo(text::piecesExistQuestion(first, n)) != kAnswerYes) return;
    }
    if (const auto available = fs.freeSpace(); available && *available < size) {
      ui.message(text::noSpace(size, *available));
      return;
    }
    if (replacing) {
      // The older set cannot be joined from here on: its first piece and
      // its record go before any of its pieces is written over.
      std::vector<std::string> first;
      if (plan.clashes.count(1)) first.push_back(plan.clashes[1]);
      if (plan.recordThere) first.push_back(record);
      if (const std::string left = removeAll(fs, first); !left.empty()) {
        ui.message(text::kOldPiecesLeft + left);
        return;
      }
    }

    BlockCopier copier(fs);
    std::uint32_t crc = 0;
    copier.setCrc(&crc);
    copier.watch(ui, size);
    ui.progress(0, size);
    fs.openRead(r.chosen, f);
    // Piece 1 is written under a hidden name and put in place last, so that
    // a split cut short at any point leaves no set that looks whole.
    std::string firstPiece;
    for (std::int64_t k = 1; !fs.eof(f);) {
      const std::string piece = pieceName(k);
      std::string target = piece;
      if (k == 1) {
        target = firstPiece = createTemporary(fs, f + 1, "split", piece);
        shownAs[firstPiece] = piece;
      } else {
        fs.openWrite(piece, f + 1, /*truncate=*/true);
      }
      written.push_back(target);
      ui.statusText(text::kSplitting + piece);

      copier.setLength(kNormalBlock);
      bool last = copier.blockSteps(f, f + 1, size, normalBlocks);
      if (!last && finalBlock != 0) {
        copier.setLength(finalBlock);
        last = copier.blockStep(f, f + 1, size);
      }

      fs.close(f + 1);
      if (!last) ++k;
      SetFileDateTime(fs, ui, target, dt, piece);
      fs.setAttr(target, attributes);
      if (last) break;
    }
    const std::int64_t moved = fs.loc(f) - 1;
    fs.close(f);
    if (copier.done() != size) ui.progress(size, size);
    if (moved != size || fs.fileLen(r.chosen) != size || fs.fileDateTime(r.chosen) != dt) throw SourceChanged{};

    // The record, stamped like the pieces, then piece 1: the set is whole
    // from the moment piece 1 has its name.
    const std::string recordTemp = createTemporary(fs, f + 1, "record", record);
    written.push_back(recordTemp);
    shownAs[recordTemp] = record;
    const std::string recordText = formatRecord(SetRecord{r.chosen, size, crc});
    fs.write(f + 1, recordText.data(), recordText.size());
    // The record on the disk before the set takes its names: after a power
    // cut it still tells a join the set's size and CRC, so that pieces whose
    // bytes had not reached the disk are found out.
    fs.flush(f + 1);
    fs.close(f + 1);
    SetFileDateTime(fs, ui, recordTemp, dt, record);
    fs.setAttr(recordTemp, attributes);
    try {
      fs.replace(recordTemp, record);
      written.back() = record;
    } catch (const RuntimeError& e) {
      // A name the file system refuses as too long: the set goes without.
      if (e.number() != err::BadFileNameOrNumber) throw;
      fs.kill(recordTemp);
      written.pop_back();
    }
    fs.replace(firstPiece, pieceName(1));
    written.clear();

    // Pieces of an older set beyond the new one's would be taken for part of it.
    if (replacing) {
      if (const std::string left = removeAll(fs, plan.stale); !left.empty()) ui.message(text::kOldPiecesLeft + left);
    }
    ui.clearStatus();
    ui.message(text::kSplitDone);
    ui.refreshFileList();
  } catch (const RuntimeError& e) {
    // No incomplete set of pieces is left behind to be joined later; the
    // source is only ever read. A piece that cannot be removed is named, so
    // that it is not mistaken for part of a whole set.
    ui.message(errorMessage(e, shownAs));
    fs.closeAll();
    if (const std::string left = removeAll(fs, written); !left.empty()) ui.message(text::kPiecesLeft + left);
    ui.clearStatus();
    ui.refreshFileList();
  } catch (const StopRequested&) {
    // Stopped by the user: cleaned up as after a failure.
    fs.closeAll();
    if (const std::string left = removeAll(fs, written); !left.empty()) ui.message(text::kPiecesLeft + left);
    ui.message(text::kStopped);
    ui.clearStatus();
    ui.refreshFileList();
  } catch (const SourceChanged&) {
    fs.closeAll();
    ui.message(text::sourceChanged(r.chosen));
    if (const std::string left = removeAll(fs, written); !left.empty()) ui.message(text::kPiecesLeft + left);
    ui.clearStatus();
    ui.refreshFileList();
  }
}

}  // namespace vexo
