// The check of a set: found as a join finds it, read as a join reads it,
// with nothing written.
#include "check.h"

#include <algorithm>

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

std::vector<std::int64_t> lengthsOf(const std::vector<SetCheck::Piece>& pieces) {
  std::vector<std::int64_t> lengths;
  for (const auto& p : pieces) lengths.push_back(p.length);
  return lengths;
}

}  // namespace

SetCheck checkSet(FileServices& services, UserInterface& ui, const Job& job) {
  // Every name resolves against the chosen file's folder, opened once.
  OpenedFolder opened(services, job.folder);
  FileServices& fs = opened.files();
  SetCheck c;
  const NameAnalysis a = analyseName(job.chosen);
  const std::string& base = a.base;
  const int f = fs.freeFile();
  // Names are compared as a join compares them.
  const bool ignoreCase = services.namesIgnoreCase();
  const std::vector<std::string> names = fs.listDirectory();

  const FoundRecord found = findRecord(fs, names, base, f, ignoreCase);
  c.recordName = found.name.empty() ? recordName(base) : found.name;
  c.recordUnreadable = found.state == FoundRecord::Unreadable;
  if (found.state == FoundRecord::Read) c.record = found.record;

  // The numbering's width, as for a join: a number of several digits
  // without a leading zero may belong to a zero-padded set.
  const int width = setWidth(names, base, a.width, static_cast<int>(a.extension.size()), ignoreCase);
  auto pieceName = [&](std::int64_t k) { return joinPieceName(base, {}, k, width); };

  // The set: from piece 1, or 0 for sets numbered from 0, up to the first
  // number without a file.
  const auto numbered = numberedNames(names, base, width, ignoreCase);
  const std::int64_t first = numbered.count(0) ? 0 : 1;
  if (!numbered.count(first)) {
    c.firstMissing = pieceName(1);
  } else {
    std::int64_t last = runEnd(numbered, first);
    for (std::int64_t k = first; k <= last; ++k) {
      const std::string& piece = numbered.at(k);
      if (fs.kind(piece, true) != FileKind::Regular) {
        c.notRegular = piece;
        last = k - 1;
        break;
      }
      c.pieces.push_back({piece, fs.fileLen(piece)});
    }
    if (first == 0 && c.pieces.size() > 1) {
      const std::optional<std::int64_t> recordSize =
          c.record ? std::optional<std::int64_t>(c.record->size) : std::nullopt;
      switch (setStart(lengthsOf(c.pieces), recordSize)) {
        case SetStart::Zero:
          break;
        case SetStart::One:
          c.pieces.erase(c.pieces.begin());
          break;
        case SetStart::Unknown:
          c.ambiguousStart = text::ambiguousStart(pieceName(0), pieceName(1));
          break;
      }
    }
    c.firstMissing = pieceName(last + 1);
    // A gap: pieces beyond a missing number, as for a join.
    SetGap gap = gapAfter(numbered, last, kNamedMissing);
    for (const std::int64_t k : gap.named) c.missing.push_back(pieceName(k));
    c.moreMissing = static_cast<std::size_t>(gap.count - static_cast<std::int64_t>(c.missing.size()));
    c.beyond = std::move(gap.beyond);
  }
  const std::vector<std::int64_t> lengths = lengthsOf(c.pieces);
  if (const std::size_t odd = firstOddLength(lengths); odd < lengths.size()) c.oddLength = c.pieces[odd].name;
  for (const std::int64_t n : lengths) c.total += n;

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
  if (!c.ambiguousStart.empty()) lines.push_back(c.ambiguousStart);
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
