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
    if (par2::isSetFile(name) && (sameName(name, recovery + ".par2", ignoreCase) || startsWithName(name, recovery + ".vol", ignoreCase)))
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
  FileServices& fs = r.fs;      // the source's folder
  FileServices& out = r.out();  // the pieces' folder
  UserInterface& ui = r.ui;
  const int f = r.f;
  std::vector<std::string> written;  // files this split has named; removed when it fails
  bool replacing = false;            // the user agreed to replace an older set
  bool oldSetTouched = false;        // and its removal has begun
  // After a stop or a failure: the new pieces go, and the user learns
  // whether an older set they agreed to replace is still there.
  auto cleanUp = [&] {
    fs.closeAll();  // a temporary not yet named goes with it
    if (const std::string left = removeAll(out, written); !left.empty()) ui.message(text::kPiecesLeft + left);
    if (replacing) ui.message(oldSetTouched ? text::kOldSetGone : text::kOldSetKept);
  };
  try {
    const std::int64_t size = fs.fileLen(r.chosen);
    const FileDateTime dt = fs.fileDateTime(r.chosen);
    const FileAttributes attributes = fs.getAttr(r.chosen);
    // Every file the split makes has at most the source's permission bits
    // from the moment it exists.
    const FileAttributes mode = attributes & 0777;

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

    if (refuseUnusableName(out, ui, pieceName(1)) || refuseUnusableName(out, ui, record)) return;

    // Nothing is written before every name the split will write or remove
    // is known, and is a regular file the user agrees to replace.
    Plan plan = planSplit(out, out.listDirectory(), pieceBase, width, count, record, recovery, ignoreCase);
    // A name the listing did not show may still reach a file: another name
    // of it (a short 8.3 name on Windows), or one made meanwhile.
    for (std::int64_t k = 1; k <= count; ++k)
      if (!plan.clashes.count(k) && out.kind(pieceName(k), false) != FileKind::Missing) plan.clashes[k] = pieceName(k);
    if (plan.record.empty() && out.kind(record, false) != FileKind::Missing) plan.record = record;
    // Never the file being split, under any of those names.
    const auto source = fs.identity(r.chosen);
    auto isSource = [&](const std::string& name) {
      return (r.sameFolder && sameName(name, r.chosen, ignoreCase)) || (source && out.identity(name) == source);
    };
    for (const auto& [k, name] : plan.clashes) {
      if (isSource(name)) {
        ui.message(text::kWouldOverwriteSource);
        return;
      }
      if (out.kind(name, false) != FileKind::Regular) {
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
      if (out.kind(plan.record, false) != FileKind::Regular) {
        ui.message(text::notRegularFile(plan.record));
        return;
      }
      if (!readRecord(out, plan.record, f)) {
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
    if (!going.empty()) {
      std::string question = text::piecesExistQuestion(going.front(), going.back(), going.size());
      if (!plan.otherSet.empty()) question = text::recordShared(plan.record, plan.otherSet) + "\n" + question;
      if (ui.questionNo(question) != kAnswerYes) return;
      replacing = true;
    }
    // What killed requests left here, and the older set about to go, make
    // room for the new one. The recovery volumes hold their blocks and a
    // copy of the checksums each.
    out.removeLeftovers();
    const std::int64_t needed =
        size + (layout ? layout->recoveryBlocks * (layout->blockSize + 68) +
                             static_cast<std::int64_t>(layout->volumes.size() + 1) * (layout->inputBlocks * 20 + count * 200)
                       : 0);
    std::int64_t replaced = 0;
    for (const std::string& name : going) replaced += out.fileLen(name);
    if (const auto available = out.freeSpace(); available && *available + replaced < needed) {
      ui.message(text::noSpace(needed, *available + replaced));
      return;
    }
    if (replacing) {
      // The older set goes whole before the new one is written: its names
      // are made new, never written through (one may be a hard link to
      // another file), and a stop or failure from here on leaves neither
      // set. Its record and first piece go first, so that what might be
      // left is never taken for a whole set.
      oldSetTouched = true;
      std::vector<std::string> old;
      if (!plan.record.empty()) old.push_back(plan.record);
      for (const auto& [k, name] : plan.clashes) old.push_back(name);
      old.insert(old.end(), plan.stale.begin(), plan.stale.end());
      old.insert(old.end(), plan.recovery.begin(), plan.recovery.end());
      if (const std::string left = removeAll(out, old); !left.empty()) {
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
    // Piece 1 is written as a temporary (file f + 2, kept open) and takes
    // its name last, so that a split cut short at any point leaves no set
    // that looks whole. The others are made new under their names.
    for (std::int64_t k = 1; k <= count; ++k) {
      const std::string piece = pieceName(k);
      const int dst = k == 1 ? f + 2 : f + 1;
      if (k == 1) {
        out.createTemporary(dst, mode, piece);
      } else {
        out.createExclusive(piece, dst, mode);
        written.push_back(piece);
      }
      ui.statusText(text::splittingStatus(piece, k, count));

      copier.setLength(kNormalBlock);
      bool last = copier.blockSteps(f, dst, size, normalBlocks);
      if (!last && finalBlock != 0) {
        copier.setLength(finalBlock);
        last = copier.blockStep(f, dst, size);
      }

      // Time and attributes go on through the open file, never by a name
      // that someone could have pointed elsewhere meanwhile (and without
      // opening each piece twice more).
      SetFileDateTime(out, ui, dst, dt, piece);
      out.setAttrOpen(dst, out.pieceAttributes(attributes));
      if (k != 1) out.close(dst);
      if (last) break;
    }
    const std::int64_t moved = fs.loc(f) - 1;
    const FileState after = fs.openFileState(f);
    fs.close(f);
    if (copier.done() != size) ui.progress(size, size);
    if (moved != size || after != before || fs.fileLen(r.chosen) != size || fs.fileDateTime(r.chosen) != dt ||
        fs.identity(r.chosen) != before.identity)
      throw SourceChanged{};

    // The recovery set over the pieces; it takes its names whole, or leaves
    // nothing. It reads the pieces by name, so piece 1 takes its name
    // first: every piece is whole and checked by now, and a stop or failure
    // from here on still removes them all.
    bool firstNamed = false;
    if (layout) {
      out.nameTemporary(f + 2, pieceName(1), false);
      written.push_back(pieceName(1));
      out.close(f + 2);
      firstNamed = true;
      ui.statusText(text::kRecovering + layout->indexName);
      std::vector<par2::Input> inputs;
      for (std::int64_t k = 1; k <= count; ++k) inputs.push_back({pieceName(k), pieceName(k)});
      par2::create(out, f, inputs, recovery, r.job.recoveryPercent, mode, watchFor(ui));
      for (const std::string& name : layout->names()) written.push_back(name);
    }

    // The record, stamped like the pieces, then piece 1: the set is whole
    // from the moment piece 1 has its name. Neither replaces a file that
    // appeared meanwhile.
    out.createTemporary(f + 1, mode, record);
    SetRecord setRecord{r.chosen, size, crc, {}};
    setRecord.attributes = out.setAsideAttributes(attributes);
    const std::string recordText = formatRecord(setRecord);
    out.write(f + 1, recordText.data(), recordText.size());
    // The record on the disk before the set takes its names: after a power
    // cut it still tells a join the set's size and CRC, so that pieces whose
    // bytes had not reached the disk are found out.
    out.flush(f + 1);
    SetFileDateTime(out, ui, f + 1, dt, record);
    out.setAttrOpen(f + 1, out.pieceAttributes(attributes));
    bool recorded = true;
    try {
      out.nameTemporary(f + 1, record, false);
      written.push_back(record);
    } catch (const RuntimeError& e) {
      // A name the file system refuses as too long: the set goes without,
      // and the user is told so.
      if (e.number() != err::BadFileNameOrNumber) throw;
      recorded = false;
    }
    out.close(f + 1);  // without a name it goes
    if (!firstNamed) {
      out.nameTemporary(f + 2, pieceName(1), false);
      written.push_back(pieceName(1));
      out.close(f + 2);
    }
    written.clear();

    ui.clearStatus();
    ui.message(text::splitSummary(count, pieceSize, size - (count - 1) * pieceSize, outputFolderOf(r), record,
                                  recorded));
    ui.refreshFileList();
  } catch (...) {
    // One way out for every early end: what says why comes first (a
    // failure, a changed source), then the clean-up, then "stopped". No
    // incomplete set of pieces is left behind to be joined later; the
    // source is only ever read. A piece that cannot be removed is named, so
    // that it is not mistaken for part of a whole set.
    std::string why, after;
    std::exception_ptr unknown;
    try {
      throw;
    } catch (const RuntimeError& e) {
      why = errorMessage(e);
    } catch (const SourceChanged&) {
      why = text::sourceChanged(r.chosen);
    } catch (const StopRequested&) {
      after = text::kStopped;
      ui.statusText(text::kStopping);  // while the pieces go
    } catch (...) {
      unknown = std::current_exception();  // told by the caller, after the clean-up
    }
    if (!why.empty()) ui.message(why);
    cleanUp();
    if (!after.empty()) ui.message(after);
    ui.clearStatus();
    ui.refreshFileList();
    if (unknown) std::rethrow_exception(unknown);
  }
}

}  // namespace vexo
