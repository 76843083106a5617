// The check of a set: found as a join finds it, read as a join reads it,
// with nothing written.
#include "check.h"

#include <set>

#include "block_copy.h"
#include "crc32.h"
#include "messages.h"
#include "names.h"

namespace vexo {
namespace {

// How many missing pieces the check names before it only counts the rest.
constexpr std::size_t kNamedMissing = 3;
// Bytes read at a time.
constexpr std::size_t kCheckBlock = std::size_t{1} << 20;

}  // namespace

SetCheck checkSet(FileServices& fs, UserInterface& ui, const Job& job) {
  SetCheck c;
  const NameAnalysis a = analyseName(job.chosen);
  const std::string& base = a.base;
  const int f = fs.freeFile();
  int width = a.width;
  auto pieceName = [&](std::int64_t k) { return joinPieceName(base, {}, k, width); };

  // A number of several digits without a leading zero (report.doc.123) may
  // belong to a zero-padded set, as for a join.
  if (width == 1 && a.extension.size() > 1 && fs.kind(pieceName(1), true) == FileKind::Missing &&
      fs.kind(joinPieceName(base, {}, 1, static_cast<int>(a.extension.size())), true) != FileKind::Missing)
    width = static_cast<int>(a.extension.size());

  // The record, under either case of its extension.
  for (const std::string& name : {recordName(base), base + "CRC"}) {
    if (fs.kind(name, true) == FileKind::Missing) continue;
    c.recordName = name;
    c.record = readRecord(fs, name, f);
    c.recordUnreadable = !c.record;
    break;
  }
  if (c.recordName.empty()) c.recordName = recordName(base);

  // The pieces: 1 up to the first number without a file, then those beyond.
  for (std::int64_t k = 1;; ++k) {
    const std::string piece = pieceName(k);
    const FileKind kind = fs.kind(piece, true);
    if (kind == FileKind::Missing) {
      c.firstMissing = piece;
      break;
    }
    if (kind != FileKind::Regular) {
      c.notRegular = piece;
      break;
    }
    c.pieces.push_back({piece, fs.fileLen(piece)});
  }
  const auto found = static_cast<std::int64_t>(c.pieces.size());
  std::set<std::int64_t> higher;
  for (const std::string& name : fs.listDirectory())
    if (const std::int64_t k = pieceNumberOf(name, base, width); k > found) higher.insert(k);
  for (std::int64_t k = found + 1; !higher.empty() && k < *higher.rbegin(); ++k) {
    if (higher.count(k)) continue;
    if (c.missing.size() < kNamedMissing) c.missing.push_back(pieceName(k));
    else ++c.moreMissing;
  }
  for (const std::int64_t k : higher) c.beyond.push_back(pieceName(k));

  for (std::size_t i = 1; i < c.pieces.size(); ++i) {
    const bool last = i + 1 == c.pieces.size();
    const std::int64_t n = c.pieces[i].length, first = c.pieces[0].length;
    if (last ? n > first : n != first) {
      c.oddLength = c.pieces[i].name;
      break;
    }
  }
  for (const auto& p : c.pieces) c.total += p.length;

  // Every byte, in order, into the CRC.
  std::vector<char> buffer(kCheckBlock);
  std::int64_t done = 0;
  ui.progress(0, c.total);
  for (const auto& p : c.pieces) {
    fs.openRead(p.name, f);
    try {
      while (!fs.eof(f)) {
        const std::size_t got = fs.read(f, buffer.data(), buffer.size());
        c.crc = crc32Update(c.crc, buffer.data(), got);
        done += static_cast<std::int64_t>(got);
        ui.progress(done, c.total);
        if (ui.stopRequested()) throw StopRequested{};
      }
    } catch (...) {
      fs.close(f);
      throw;
    }
    fs.close(f);
  }
  // A piece that grew or shrank while it was read is counted as read.
  if (done != c.total) {
    c.total = done;
    ui.progress(done, done);
  }
  return c;
}

std::vector<std::string> checkReport(const SetCheck& c) {
  std::vector<std::string> lines;
  for (const auto& p : c.pieces) lines.push_back(text::checkedPiece(p.name, p.length));
  if (!c.notRegular.empty()) lines.push_back(text::notRegularFile(c.notRegular));
  else if (c.pieces.empty()) lines.push_back(text::pieceNotFound(c.firstMissing));
  if (c.gap()) lines.push_back(text::checkGap(c.missing, c.moreMissing, c.beyond.size()));
  if (!c.oddLength.empty() && !c.record) lines.push_back(text::checkOddLength(c.oddLength));
  if (!c.pieces.empty()) lines.push_back(text::checkTotal(c.pieces.size(), c.total, c.crc));
  if (c.recordUnreadable) {
    lines.push_back(text::checkRecordUnreadable(c.recordName));
  } else if (!c.record) {
    lines.push_back(text::checkNoRecord(c.recordName));
  } else {
    lines.push_back(text::checkRecord(c.recordName, c.record->size, c.record->crc));
    if (!c.pieces.empty()) {
      // Bytes of another length have another CRC: the length says enough.
      if (!c.sizeMatches()) lines.push_back(text::checkSizeMismatch(c.total, c.record->size));
      else if (!c.crcMatches()) lines.push_back(text::checkCrcMismatch(c.crc, c.record->crc));
    }
  }
  lines.push_back(c.whole() ? (c.record ? text::kCheckWholeVerified : text::kCheckWholeUnverified)
                            : text::kCheckNotWhole);
  return lines;
}

}  // namespace vexo
