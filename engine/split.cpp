// Splitting a file into pieces of the chosen size, with a record of the set.
#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "block_copy.h"
#include "engine.h"
#include "messages.h"
#include "par2_pieces.h"
#include "record.h"
#include "request.h"

namespace vexo {
namespace {

// The source changed while it was being split.
struct SourceChanged {};

// What is in the directory under the names the split will write or remove.
struct Plan {
  std::map<std::int64_t, std::string> clashes;  // pieces 1..count already there
  std::vector<std::string> stale;                // the older set's pieces after count
  std::string record;                            // the record already there, as spelled
  std::string otherSet;  // first piece of a set of the other numbering beside that record
  std::vector<std::string> recovery;  // files of a recovery set of the set's name
};

Plan planSplit(FileServices& fs, const std::vector<std::string>& names, const std::string& base, int width,
               std::int64_t count, const std::string& record, const std::string& recovery, bool ignoreCase) {
  Plan plan;
  for (const std::string& name : names)
    if (par2::isSetFile(name) && (sameName(name, recovery + ".par2", ignoreCase) || name.rfind(recovery + ".vol", 0) == 0))
      plan.recovery.push_back(name);
  const auto numbered = numberedNames(names, base, width, ignoreCase);
  for (auto it = numbered.lower_bound(1); it != numbered.end() && it->first <= count; ++it)
    plan.clashes.emplace(it->first, it->second);
  // An older, longer set goes on right after the new last piece, up to its
  // first missing number; anything further (a dated copy such as
  // report.doc.20240101) is not part of it. A name that is not a regular
  // file ends the run too.
  for (std::int64_t k = count + 1, end = runEnd(numbered, count + 1); k <= end; ++k) {
    const std::string& name = numbered.at(k);
    if (fs.kind(name, false) != FileKind::Regular) break;
    plan.stale.push_back(name);
  }
  for (const std::string& name : names)
    if (sameName(name, record, ignoreCase)) plan.record = name;
  if (!plan.record.empty()) {
    // The record is named the same for both numberings (report.doc.1 and
    // report.doc.001): a set of the other one may be using it.
    const int other = width == 1 ? 3 : 1;
    for (const std::string& name : names) {
      const auto k = numberIn(name, base, other, ignoreCase);
      if (k && (*k == 1 || (*k == 0 && other > 1)) && !numberIn(name, base, width, ignoreCase)) {
        if (plan.otherSet.empty() || *k == 0) plan.otherSet = name;
      }
    }
  }
  return plan;
}

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
      ui.message(size == pieceSize ? text::kNotLarger : text::kTooSmall);
      return;
    }
    // Each piece is normal blocks of 30,000 bytes and one final block of
    // the rest (none when the size is a multiple of 30,000).
    const std::int64_t normalBlocks = pieceSize / static_cast<std::int64_t>(kNormalBlock);
    const auto finalBlock = static_cast<std::size_t>(pieceSize % static_cast<std::int64_t>(kNormalBlock));
    // As many pieces as the bytes fill: a source that is an exact multiple
    // of the size ends with a full piece, not an empty one.
    const std::int64_t count = (size - 1) / pieceSize + 1;

    const bool shortNaming = r.job.shortNaming;
    const int width = std::max(1, r.job.digits);
    const bool ignoreCase = r.ignoreCase;
    const std::string pieceBase = splitPieceBase(r.chosen, r.name, shortNaming);
    const std::string record = recordName(pieceBase);
    auto pieceName = [&](std::int64_t k) { return splitPieceName(r.chosen, r.name, k, shortNaming, width); };
    // Recovery data over the pieces, when asked for: its shape is known
    // before anything is written.
    const std::string recovery = recoveryBase(pieceBase);
    std::optional<par2::Layout> layout;
    if (r.job.recoveryPercent > 0) {
      std::vector<std::int64_t> lengths(static_cast<std::size_t>(count), pieceSize);
      lengths.back() = size - (count - 1) * pieceSize;
      try {
        layout = par2::plan(lengths, r.job.recoveryPercent, recovery);
      } catch (const std::invalid_argument&) {
        ui.message(text::recoveryTooMany(static_cast<std::size_t>(count)));
        return;
      }
    }

    // Nothing is written before every name the split will write or remove
    // is known, and is a regular file the user agrees to replace.
    const Plan plan = planSplit(fs, fs.listDirectory(), pieceBase, width, count, record, recovery, ignoreCase);
    // Never the file being split, under any of those names.
    const auto source = fs.identity(r.chosen);
    auto isSource = [&](const std::string& name) {
      return sameName(name, r.chosen, ignoreCase) || (source && fs.identity(name) == source);
    };
    for (const auto& [k, name] : plan.clashes) {
      if (isSource(name)) {
        ui.message(text::kWouldOverwriteSource);
        return;
      }
      if (fs.kind(name, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(name));
        return;
      }
    }
    for (const std::string& name : plan.stale) {
      if (isSource(name)) {
        ui.message(text::kWouldRemoveSource);
        return;
      }
    }
    if (!plan.record.empty()) {
      if (isSource(plan.record)) {
        ui.message(text::kRecordWouldBeSource);
        return;
      }
      if (fs.kind(plan.record, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(plan.record));
        return;
      }
      if (!readRecord(fs, plan.record, f)) {
        ui.message(text::notARecord(plan.record));
        return;
      }
    }
    for (const std::string& name : plan.recovery) {
      if (isSource(name)) {
        ui.message(text::kWouldRemoveSource);
        return;
      }
      if (fs.kind(name, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(name));
        return;
      }
    }
    // The question counts exactly the files that will go.
    std::vector<std::string> going;
    for (const auto& [k, name] : plan.clashes) going.push_back(name);
    going.insert(going.end(), plan.stale.begin(), plan.stale.end());
    if (!plan.record.empty()) going.push_back(plan.record);
    going.insert(going.end(), plan.recovery.begin(), plan.recovery.end());
    const bool replacing = !going.empty();
    if (replacing) {
      std::string question = text::piecesExistQuestion(going.front(), going.back(), going.size());
      if (!plan.otherSet.empty()) question = text::recordShared(plan.record, plan.otherSet) + "\n" + question;
      if (ui.questionNo(question) != kAnswerYes) return;
    }
    // The recovery volumes hold their blocks and a copy of the checksums each.
    const std::int64_t needed =
        size + (layout ? layout->recoveryBlocks * (layout->blockSize + 68) +
                             static_cast<std::int64_t>(layout->volumes.size() + 1) * (layout->inputBlocks * 20 + count * 200)
                       : 0);
    if (const auto available = fs.freeSpace(); available && *available < needed) {
      ui.message(text::noSpace(needed, *available));
      return;
    }
    if (replacing) {
      // The older set cannot be joined from here on: its first piece and
      // its record go before any of its pieces is written over.
      std::vector<std::string> first;
      if (plan.clashes.count(1)) first.push_back(plan.clashes.at(1));
      if (!plan.record.empty()) first.push_back(plan.record);
      first.insert(first.end(), plan.recovery.begin(), plan.recovery.end());
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
    // What the file system says of the open source before the first read;
    // the same must hold after the last, to the nanosecond.
    const FileState before = fs.openFileState(f);
    if (before.size != size || before.modified != dt) throw SourceChanged{};
    // Piece 1 is written under a hidden name and put in place last, so that
    // a split cut short at any point leaves no set that looks whole.
    std::string firstPiece;
    for (std::int64_t k = 1; k <= count; ++k) {
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
      SetFileDateTime(fs, ui, target, dt, piece);
      fs.setAttr(target, attributes);
      if (last) break;
    }
    const std::int64_t moved = fs.loc(f) - 1;
    const FileState after = fs.openFileState(f);
    fs.close(f);
    if (copier.done() != size) ui.progress(size, size);
    if (moved != size || after != before || fs.fileLen(r.chosen) != size || fs.fileDateTime(r.chosen) != dt ||
        fs.identity(r.chosen) != before.identity)
      throw SourceChanged{};

    // The recovery set over the pieces, piece 1 still under its hidden
    // name; it takes its names whole, or leaves nothing.
    if (layout) {
      ui.statusText(text::kRecovering + layout->indexName);
      std::vector<par2::Input> inputs;
      for (std::int64_t k = 1; k <= count; ++k) inputs.push_back({k == 1 ? firstPiece : pieceName(k), pieceName(k)});
      par2::create(fs, f, inputs, "", recovery, r.job.recoveryPercent, watchFor(ui));
      for (const std::string& name : layout->names()) written.push_back(name);
    }

    // The record, stamped like the pieces, then piece 1: the set is whole
    // from the moment piece 1 has its name.
    const std::string recordTemp = createTemporary(fs, f + 1, "record", record);
    written.push_back(recordTemp);
    shownAs[recordTemp] = record;
    const std::string recordText = formatRecord(SetRecord{r.chosen, size, crc, {}});
    fs.write(f + 1, recordText.data(), recordText.size());
    // The record on the disk before the set takes its names: after a power
    // cut it still tells a join the set's size and CRC, so that pieces whose
    // bytes had not reached the disk are found out.
    fs.flush(f + 1);
    fs.close(f + 1);
    SetFileDateTime(fs, ui, recordTemp, dt, record);
    fs.setAttr(recordTemp, attributes);
    bool recorded = true;
    try {
      fs.replace(recordTemp, record);
      written.back() = record;
    } catch (const RuntimeError& e) {
      // A name the file system refuses as too long: the set goes without,
      // and the user is told so.
      if (e.number() != err::BadFileNameOrNumber) throw;
      fs.kill(recordTemp);
      written.pop_back();
      recorded = false;
    }
    fs.replace(firstPiece, pieceName(1));
    written.clear();

    // Pieces of an older set beyond the new one's would be taken for part of it.
    if (replacing) {
      if (const std::string left = removeAll(fs, plan.stale); !left.empty()) ui.message(text::kOldPiecesLeft + left);
    }
    ui.clearStatus();
    ui.message(recorded ? text::kSplitDone : text::splitDoneWithoutRecord(record));
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
