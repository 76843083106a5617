#include "par2_pieces.h"

#include <algorithm>
#include <map>

#include "block_copy.h"
#include "crc32.h"
#include "engine.h"
#include "messages.h"
#include "names.h"
#include "request.h"

namespace vexo {

std::string recoveryBase(const std::string& pieceBase) {
  if (!pieceBase.empty() && pieceBase.back() == '.') return pieceBase.substr(0, pieceBase.size() - 1);
  return pieceBase;
}

par2::Watch watchFor(UserInterface& ui) {
  par2::Watch w;
  w.progress = [&ui](std::int64_t done, std::int64_t total) { ui.progress(done, total); };
  w.stop = [&ui] { return ui.stopRequested(); };
  return w;
}

namespace {

void check(FileServices& fs, int f, UserInterface& ui, PieceRecovery& r, par2::Depth depth) {
  r.depth = depth;
  r.v = par2::verify(fs, f, r.set, "", watchFor(ui), depth);
  r.missing.clear();
  r.damaged.clear();
  for (const auto& [i, k] : r.pieces) {
    const auto status = r.v.files[i].status;
    if (status == par2::FileStatus::Missing) r.missing.push_back(r.set.files[i].name);
    if (status == par2::FileStatus::Damaged) r.damaged.push_back(r.set.files[i].name);
  }
}

}  // namespace

std::optional<PieceRecovery> findRecovery(FileServices& fs, int f, UserInterface& ui, const std::string& pieceBase,
                                          const std::function<std::int64_t(const std::string&)>& pieceNumber,
                                          par2::Depth depth) {
  // Sets are named after the pieces' name up to its first dot, or more of
  // it ("report.par2", ours "report.doc.par2", "report.doc.001.par2" of a
  // set made over the pieces by naming them), in any case where the file
  // system ignores it.
  const std::string stem = pieceBase.substr(0, pieceBase.find('.'));
  const bool ignoreCase = fs.namesIgnoreCase();
  std::vector<std::string> candidates;
  const std::vector<std::string> listing = fs.listDirectory();
  for (const std::string& name : listing)
    if (par2::isSetFile(name) && startsWithName(name, stem, ignoreCase) && fs.kind(name, false) == FileKind::Regular)
      candidates.push_back(name);
  if (candidates.empty()) return std::nullopt;
  std::sort(candidates.begin(), candidates.end());
  const par2::Watch watch = watchFor(ui);
  std::vector<par2::RecoverySet> sets = par2::readSets(fs, f, candidates, watch);

  // The set must be over pieces 1 to n of this set exactly; pieces beyond
  // it may only be empty (the last piece of an exact multiple).
  const par2::RecoverySet* best = nullptr;
  std::vector<std::pair<std::size_t, std::int64_t>> order;
  for (const auto& set : sets) {
    if (!set.usable() || set.files.empty()) continue;
    std::vector<std::pair<std::size_t, std::int64_t>> pieces;
    for (std::size_t i = 0; i < set.files.size(); ++i) pieces.emplace_back(i, pieceNumber(set.files[i].name));
    std::sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    bool covers = true;
    for (std::size_t k = 0; k < pieces.size(); ++k) covers = covers && pieces[k].second == static_cast<std::int64_t>(k) + 1;
    const auto n = static_cast<std::int64_t>(pieces.size());
    for (const std::string& name : listing)
      if (covers && pieceNumber(name) > n && fs.kind(name, true) == FileKind::Regular && fs.fileLen(name) > 0)
        covers = false;
    if (covers && (!best || set.recovery.size() > best->recovery.size())) {
      best = &set;
      order = pieces;
    }
  }
  if (!best) return std::nullopt;
  PieceRecovery r;
  r.set = *best;
  r.pieces = order;
  check(fs, f, ui, r, depth);
  return r;
}

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const auto& n : names) s += (s.empty() ? "" : " ") + n;
  return s;
}

}  // namespace

std::vector<std::string> recoveryReport(const PieceRecovery& r) {
  std::vector<std::string> lines;
  lines.push_back("復元データ：" + r.set.paths.front() + (r.set.paths.size() > 1 ? " ほか " + std::to_string(r.set.paths.size() - 1) + " 個" : "") +
                  "（ブロック " + text::grouped(r.set.inputBlocks()) + " 個，復元ブロック " +
                  text::grouped(r.v.recoveryBlocks) + " 個）");
  if (!r.missing.empty()) lines.push_back("ない分割ファイル：" + joined(r.missing));
  if (!r.damaged.empty()) lines.push_back("壊れている分割ファイル：" + joined(r.damaged));
  if (r.v.complete())
    lines.push_back(text::kNothingToRepair);
  else if (r.repairable())
    lines.push_back("壊れたブロック " + text::grouped(r.v.damagedBlocks) + " 個を復元データで修復できます．");
  else
    lines.push_back(text::recoveryShort(r.v.shortfall()));
  return lines;
}

bool joinWithRecovery(FileServices& fs, FileServices& dest, UserInterface& ui, int f, const PieceRecovery& rec,
                      const RecoveryJoin& j) {
  if (rec.v.complete()) return false;
  std::string report;
  for (const std::string& line : recoveryReport(rec)) report += line + "\n";
  if (!rec.repairable()) {
    ui.message(report.substr(0, report.size() - 1));
    return true;
  }
  // The joined file is none of the files the repair reads.
  std::vector<std::string> read = rec.set.paths;
  for (const auto& file : rec.set.files) read.push_back(file.name);
  if (!j.recordName.empty()) read.push_back(j.recordName);
  const auto joinedId = dest.identity(j.joined);
  for (const auto& name : read) {
    if (name == j.joined || (joinedId && fs.identity(name) == joinedId)) {
      ui.message(text::kJoinedIsPiece);
      return true;
    }
  }
  if (ui.question(report + text::kRepairQuestion) != kAnswerYes) return true;
  bool replace = false;
  switch (dest.kind(j.joined, false)) {
    case FileKind::Missing:
      break;
    case FileKind::Regular:
      if (ui.questionNo(text::existsQuestion(j.joined)) != kAnswerYes) return true;
      replace = true;
      break;
    default:
      ui.message(text::notRegularFile(j.joined));
      return true;
  }
  std::int64_t total = 0;
  for (const auto& file : rec.set.files) total += file.length;
  if (const auto available = dest.freeSpace(); available && *available < total) {
    ui.message(text::noSpace(total, *available));
    return true;
  }

  // The blocks rebuilt from a damaged piece of the right length do not
  // match: every block is checked, and the user asked again.
  auto closer = [&] {
    PieceRecovery c = rec;
    check(fs, f + 1, ui, c, par2::Depth::Crc);
    return joinWithRecovery(fs, dest, ui, f, c, j);
  };
  auto failed = [&](const std::string& message) {
    ui.clearStatus();
    ui.message(message);
    ui.refreshFileList();
    return true;
  };
  std::optional<par2::Repair> repair;
  try {
    repair.emplace(fs, f + 1, rec.set, rec.v, "", watchFor(ui));
  } catch (const par2::RepairFailed&) {
    if (rec.depth == par2::Depth::Lengths) return closer();
    return failed(text::kRepairFailed);
  }
  // A piece that is there gives the joined file its time and attributes.
  std::string stampFrom;
  for (const auto& [i, k] : rec.pieces)
    if (rec.v.files[i].status != par2::FileStatus::Missing) stampFrom = rec.set.files[i].name;
  if (stampFrom.empty() && !j.pieces.empty()) stampFrom = j.pieces.back();
  const FileAttributes attributes = stampFrom.empty() ? 0644 : fs.getAttr(stampFrom);

  // The pieces are read in order into the joined file, as a plain join
  // reads them; the damaged blocks are rebuilt as they are reached, as many
  // at a time as the repair's memory holds.
  const auto count = static_cast<std::int64_t>(rec.pieces.size());
  std::int64_t piece = 0;
  bool rebuilt = false;  // a pass of rebuilding has just had the status line
  repair->onPass = [&](std::int64_t made, std::int64_t blocks) {
    ui.statusText(text::repairingStatus(j.joined, made + 1, made + blocks, repair->blocks()));
    rebuilt = true;
  };
  {
    std::vector<std::size_t> order;
    for (const auto& [i, k] : rec.pieces) order.push_back(i);
    repair->streamOrder(order);
  }
  // Without a name until it is whole and checked: closed before, it goes.
  dest.createTemporary(f, attributes | 0600, j.joined);
  dest.writeBehind(f, total);
  std::uint32_t crc = 0;
  std::int64_t before = 0;
  ui.progress(0, total);
  try {
    for (const auto& [i, k] : rec.pieces) {
      ++piece;
      ui.statusText(text::joiningStatus(j.joined, piece, count));
      par2::Watch watch;
      watch.progress = [&](std::int64_t done, std::int64_t) { ui.progress(before + done, total); };
      watch.stop = [&] { return ui.stopRequested(); };
      repair->stream(
          i,
          [&](const char* p, std::size_t n) {
            if (rebuilt) {
              ui.statusText(text::joiningStatus(j.joined, piece, count));
              rebuilt = false;
            }
            dest.write(f, p, n);
            crc = crc32Update(crc, p, n);
          },
          watch);
      before += rec.set.files[i].length;
    }
  } catch (const par2::RepairFailed&) {
    dest.close(f);  // the unnamed file goes
    if (rec.depth == par2::Depth::Lengths) return closer();
    return failed(text::kRepairFailed);
  }
  if (j.record && crc != j.record->crc) {
    dest.close(f);  // the unnamed file goes
    // A piece of the right length is damaged too.
    if (rec.depth == par2::Depth::Lengths) return closer();
    return failed(text::crcMismatch(j.recordName, crc, j.record->crc));
  }
  if (!stampFrom.empty()) {
    SetFileDateTime(dest, ui, f, fs.fileDateTime(stampFrom), j.joined);
    dest.setAttrOpen(f, attributes);
  }
  dest.nameTemporary(f, j.joined, replace);
  ui.clearStatus();
  ui.message(text::joinSummary(j.joined, total, count, j.folder, j.recordName,
                               j.record ? std::optional<std::uint32_t>(crc) : std::nullopt, repair->blocks()));
  ui.refreshFileList();

  if (ui.question(text::kDeleteQuestion) != kAnswerYes) {
    dest.close(f);
    return true;
  }
  // No piece goes before the joined file and its name are on the disk.
  std::vector<std::string> doomed = j.pieces;
  for (const auto& file : rec.set.files)
    if (std::find(doomed.begin(), doomed.end(), file.name) == doomed.end()) doomed.push_back(file.name);
  if (j.record) doomed.push_back(j.recordName);
  for (const auto& path : rec.set.paths) doomed.push_back(path);
  deleteAfterJoin(fs, dest, ui, f, doomed);
  return true;
}

std::vector<std::string> rebuildPieces(FileServices& fs, int f, UserInterface& ui, const PieceRecovery& rec,
                                       bool replaceDamaged) {
  std::vector<std::string> rebuilt;
  if (rec.v.complete()) return rebuilt;
  // A piece that is there gives the rebuilt ones its time and attributes.
  std::string stampFrom;
  for (const auto& [i, k] : rec.pieces)
    if (rec.v.files[i].status == par2::FileStatus::Complete) stampFrom = rec.set.files[i].name;
  ui.statusText(text::kRepairing + rec.set.paths.front());
  par2::Repair repair(fs, f + 1, rec.set, rec.v, "", watchFor(ui));
  const FileAttributes attributes = stampFrom.empty() ? 0644 : fs.getAttr(stampFrom);
  // The pieces to write again, in order; only a bare name, never a file elsewhere.
  std::vector<std::size_t> order;
  for (const auto& [i, k] : rec.pieces) {
    const auto status = rec.v.files[i].status;
    const std::string& name = rec.set.files[i].name;
    if (status == par2::FileStatus::Complete || (status == par2::FileStatus::Damaged && !replaceDamaged) ||
        name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
      continue;
    order.push_back(i);
  }
  repair.streamOrder(order);
  try {
    for (const std::size_t i : order) {
      const std::string& name = rec.set.files[i].name;
      ui.statusText(text::kRepairing + name);
      // Without a name until it is whole: a stop, failure or kill leaves nothing.
      fs.createTemporary(f, attributes | 0600, name);
      repair.stream(i, [&](const char* p, std::size_t n) { fs.write(f, p, n); }, watchFor(ui));
      fs.flush(f);
      if (!stampFrom.empty()) {
        SetFileDateTime(fs, ui, f, fs.fileDateTime(stampFrom), name);
        fs.setAttrOpen(f, attributes);
      }
      fs.nameTemporary(f, name, true);
      fs.close(f);
      rebuilt.push_back(name);
    }
  } catch (...) {
    fs.closeAll();
    throw;
  }
  ui.clearStatus();
  return rebuilt;
}

namespace text {

std::string recoveryTooMany(std::size_t pieces) {
  return "分割ファイルが " + grouped(static_cast<std::int64_t>(pieces)) +
         " 個あり，復元データ（32,768 ブロックまで）を作れません．";
}

std::string repairingStatus(const std::string& name, std::int64_t from, std::int64_t to, std::int64_t blocks) {
  return kRepairing + name + " (ブロック " + std::to_string(from) + "-" + std::to_string(to) + "/" +
         std::to_string(blocks) + ")";
}

std::string recoveryShort(std::int64_t needed) {
  return "復元データが足りないので修復できません（あと " + grouped(needed) + " ブロック必要です）．";
}

}  // namespace text

}  // namespace vexo
