// Joining a set of pieces back into the file they came from. The set is
// checked before anything is written; the joined file is written as a
// temporary without a name and takes its own only when it is whole and
// checked. The pieces go only once it is on the disk.
#include <algorithm>
#include <optional>
#include <set>

#include "block_copy.h"
#include "engine.h"
#include "messages.h"
#include "par2_pieces.h"
#include "record.h"
#include "request.h"

namespace vexo {
namespace {

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

// How many missing pieces a question names before it only counts the rest.
constexpr std::size_t kNamedMissing = 3;

// Whether a name from a record can name the joined file: a plain file name
// in this directory, not a piece of the set nor its record.
bool usableRecordedName(const std::string& name, const std::string& base, const std::string& record,
                        bool ignoreCase) {
  if (name == "." || name == ".." || !safeExtension(name) || name.find('\\') != std::string::npos) return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return false;
#ifdef _WIN32
  if (!isUtf8(name)) return false;
#endif
  if (sameName(name, record, ignoreCase)) return false;
  if (startsWithName(name, base, ignoreCase) && name.size() > base.size() &&
      name.find_first_not_of("0123456789", base.size()) == std::string::npos)
    return false;
  return true;
}

}  // namespace

void join(Request& r) {
  FileServices& fs = r.fs;         // the pieces' folder
  FileServices& dest = r.out();    // the joined file's folder
  UserInterface& ui = r.ui;
  const int f = r.f;
  const std::string& base = r.name.base;
  int width = r.name.width;
  std::string extension;
  bool writing = false;  // the joined file is open as f, not yet named
  const bool ignoreCase = r.ignoreCase;
  try {
    const std::vector<std::string> names = fs.listDirectory();
    // The set's record, under any case of its extension. A file of that
    // name that does not read as one does not quietly turn the check off.
    const FoundRecord found = findRecord(fs, names, base, f, ignoreCase);
    if (found.state == FoundRecord::Unreadable &&
        ui.questionNo(text::unreadableRecordQuestion(found.name)) != kAnswerYes)
      return;
    const bool recorded = found.state == FoundRecord::Read;
    const std::string& record = found.name;

    const bool shortNaming = r.job.shortNaming;
    // The extension is chosen by the user, beforehand or in the dialog.
    const bool extensionChosen = r.job.extension || shortNaming;
    if (r.job.extension) {
      extension = *r.job.extension;
    } else if (shortNaming) {
      const auto answer = ui.askExtension(recorded ? recordedExtension(found.record) : std::string());
      if (!answer) return;  // the dialog was not left with OK
      extension = *answer;
    }

    if (!safeExtension(extension)) {
      ui.message(text::kBadExtension);
      return;
    }
    std::string joined = joinedFileName(base, extension);
    if (joined.empty() || joined == "." || joined == "..") {
      ui.message(text::kBadJoinedName);
      return;
    }
    // A number of several digits without a leading zero (report.doc.123)
    // may belong to a zero-padded set: then its first piece is padded to
    // that width.
    width = setWidth(names, base, width, static_cast<int>(r.name.extension.size()), ignoreCase);
    auto pieceName = [&](std::int64_t k) { return joinPieceName(base, extension, k, width); };

    // Other file managers write the record of pieces named movie.001 ... as
    // movie.crc, naming the file in it: such a set joins under that name.
    // Only a plain file name is taken, never a path, a piece or the record.
    if (!extensionChosen && recorded) {
      const std::string named = recordedName(found.record);
      if (!named.empty() && !sameName(named, joined, ignoreCase)) {
        if (usableRecordedName(named, base, record, ignoreCase)) joined = named;
        else ui.message(text::recordedNameIgnored(record, named, joined));
      }
    }

    if (refuseUnusableName(fs, ui, joined)) return;

    // The set is what its numbers say: from piece 1, or from piece 0 for
    // sets numbered from 0, up to the first number without a file. Only the
    // names in the directory are looked at, never every number in between.
    const auto numbered = numberedNames(names, base, width, ignoreCase);
    auto lengthsOf = [&](std::int64_t from, std::int64_t to) {
      std::vector<std::int64_t> out;
      for (std::int64_t k = from; k <= to; ++k) {
        const std::string& piece = numbered.at(k);
        if (fs.kind(piece, true) != FileKind::Regular) {
          ui.message(text::notRegularFile(piece));
          return std::optional<std::vector<std::int64_t>>();
        }
        out.push_back(fs.fileLen(piece));
      }
      return std::optional(out);
    };
    auto sum = [](const std::vector<std::int64_t>& v) {
      std::int64_t total = 0;
      for (const std::int64_t n : v) total += n;
      return total;
    };
    std::int64_t first = numbered.count(0) ? 0 : 1;
    // Pieces missing, cut short or not as the record says: a recovery set
    // beside them may rebuild them.
    // Before joining, with a record to check the result against, pieces of
    // the right length are taken as sound; after a join that did not
    // match the record, every block is checked.
    auto throughRecovery = [&](bool afterJoin) {
      const auto rec = findRecovery(
          fs, f + 1, ui, base,
          [&](const std::string& n) {
            const auto k = numberIn(n, base, width, ignoreCase);
            return k ? *k : 0;
          },
          recorded && !afterJoin ? par2::Depth::Lengths : par2::Depth::Crc);
      if (!rec) return false;
      RecoveryJoin j{joined, record, {}, {}, outputFolderOf(r)};
      if (recorded) j.record = found.record;
      for (std::int64_t k = first; numbered.count(k); ++k) j.pieces.push_back(numbered.at(k));
      return joinWithRecovery(fs, dest, ui, f, *rec, j);
    };
    if (!numbered.count(first)) {
      if (throughRecovery(false)) return;
      ui.message(text::pieceNotFound(pieceName(1)));
      return;
    }
    const std::int64_t last = runEnd(numbered, first);
    // Nothing is written when the joined file would be one of the pieces.
    const auto joinedId = dest.identity(joined);
    for (std::int64_t k = first; k <= last; ++k) {
      const std::string& piece = numbered.at(k);
      if ((r.sameFolder && sameName(piece, joined, ignoreCase)) || (joinedId && fs.identity(piece) == joinedId)) {
        ui.message(text::kJoinedIsPiece);
        return;
      }
    }
    // Nor when it would be the record, which goes with the pieces.
    if (!record.empty() && ((r.sameFolder && sameName(joined, record, ignoreCase)) ||
                            (joinedId && fs.identity(record) == joinedId))) {
      ui.message(text::kJoinedIsRecord);
      return;
    }
    auto fromFirst = lengthsOf(first, last);
    if (!fromFirst) return;
    std::vector<std::int64_t> lengths = *fromFirst;
    if (first == 0 && last >= 1) {
      const std::optional<std::int64_t> recordSize =
          recorded ? std::optional<std::int64_t>(found.record.size) : std::nullopt;
      switch (setStart(lengths, recordSize)) {
        case SetStart::Zero:
          break;
        case SetStart::One:
          first = 1;
          lengths.erase(lengths.begin());
          break;
        case SetStart::Unknown:
          ui.message(text::ambiguousStart(pieceName(0), pieceName(1)));
          return;
      }
    }

    auto total = [&] { return sum(lengths); };
    // A higher-numbered piece beyond a missing one means a gap: the missing
    // ones, a few named and the rest counted. A number far past the set (a
    // date such as report.doc.202401011230) is another file, not a lost
    // piece.
    const SetGap gap = gapAfter(numbered, last, kNamedMissing);
    const bool hurt = recorded ? total() != found.record.size
                               : firstOddLength(lengths) < lengths.size() || !gap.beyond.empty();
    if (hurt && throughRecovery(false)) return;
    std::vector<std::string> missing;
    for (const std::int64_t k : gap.named) missing.push_back(pieceName(k));
    std::int64_t missingCount = gap.count;
    if (recorded) {
      // The record tells whether the set is whole: a lost last piece or
      // pieces of an older set change the sum. A set cut short names what
      // it lacks: the gap, or else the piece after its last.
      if (total() != found.record.size) {
        std::string lacking;
        if (total() < found.record.size) {
          if (gap.beyond.empty()) {
            missing = {pieceName(last + 1)};
            missingCount = 1;
          }
          const auto more = static_cast<std::size_t>(missingCount - static_cast<std::int64_t>(missing.size()));
          lacking = text::piecesNotFound(missing, more) + "\n";
        }
        ui.message(lacking + text::sizeMismatch(record, total(), found.record.size));
        return;
      }
    } else {
      if (!gap.beyond.empty()) {
        const auto more = static_cast<std::size_t>(missingCount - static_cast<std::int64_t>(missing.size()));
        if (ui.questionNo(text::gapQuestion(missing, more, pieceName(last))) != kAnswerYes) return;
      }
      if (const std::size_t odd = firstOddLength(lengths); odd < lengths.size()) {
        const std::int64_t k = first + static_cast<std::int64_t>(odd);
        if (ui.questionNo(text::oddLengthQuestion(pieceName(k), pieceName(k - 1))) != kAnswerYes) return;
        lengths.resize(odd);
      }
    }

    // An existing file of the joined name is replaced only when the user
    // says so, and never when it is a link, a directory or a device.
    bool replace = false;
    switch (dest.kind(joined, false)) {
      case FileKind::Missing:
        break;
      case FileKind::Regular:
        if (ui.questionNo(text::existsQuestion(joined)) != kAnswerYes) return;
        replace = true;
        break;
      default:
        ui.message(text::notRegularFile(joined));
        return;
    }
    // What killed requests left here makes room too.
    dest.removeLeftovers();
    if (const auto available = dest.freeSpace(); available && *available < total()) {
      ui.message(text::noSpace(total(), *available));
      return;
    }

    const auto pieces = static_cast<std::int64_t>(lengths.size());
    // With at most the permission bits of the pieces, from the moment it exists.
    FileAttributes mode = 0777;
    for (std::int64_t k = first; k < first + pieces; ++k) mode &= fs.getAttr(pieceName(k));
    dest.createTemporary(f, mode, joined);
    writing = true;
    dest.writeBehind(f, total());  // handed to the disk as it comes; flushed before a piece goes

    BlockCopier copier(fs);
    copier.watch(ui, total());
    ui.progress(0, total());
    std::uint32_t crc = 0;
    if (recorded) copier.setCrc(&crc);  // only a record has a CRC to compare with
    FileDateTime dt{};
    FileAttributes attributes = 0;
    for (std::int64_t k = first; k < first + pieces; ++k) {
      copier.setLength(kNormalBlock);
      const std::string piece = pieceName(k);
      ui.statusText(text::joiningStatus(joined, k - first + 1, pieces));
      const std::int64_t size = fs.fileLen(piece);
      dt = fs.fileDateTime(piece);
      attributes = fs.getAttr(piece);
      fs.openRead(piece, f + 1);
      copier.blockSteps(f + 1, f, size, BlockCopier::kToTheEnd);  // blocks until the tail has run
      fs.close(f + 1);
    }
    if (copier.done() != total()) ui.progress(total(), total());

    if (recorded && crc != found.record.crc) {
      dest.close(f);  // the unnamed file goes
      writing = false;
      if (throughRecovery(true)) return;
      ui.clearStatus();
      ui.message(text::crcMismatch(record, crc, found.record.crc));
      ui.refreshFileList();
      return;
    }
    // Stamped with the last piece, which the split gave the source's time
    // and attributes; then put in place in one step, over an older file
    // only when the user said so, and never over one that appeared since.
    // It need not be on the disk yet: until the pieces go, they hold it.
    SetFileDateTime(dest, ui, f, dt, joined);
    // With the bits the record kept for the joined file alone (hidden, system).
    dest.setAttrOpen(f, recorded ? dest.withSetAside(attributes, found.record.attributes) : attributes);
    dest.nameTemporary(f, joined, replace);
    writing = false;

    ui.clearStatus();
    ui.message(text::joinSummary(joined, total(), pieces, outputFolderOf(r), record,
                                 recorded ? std::optional<std::uint32_t>(crc) : std::nullopt));
    ui.refreshFileList();

    if (ui.question(text::kDeleteQuestion) != kAnswerYes) {
      dest.close(f);
      return;
    }
    // No piece goes before the joined file and its name are on the disk.
    std::vector<std::string> going;
    for (std::int64_t i = first; i < first + pieces; ++i) going.push_back(pieceName(i));
    // The record only when it was checked against the set just joined.
    if (recorded) going.push_back(record);
    deleteAfterJoin(fs, dest, ui, f, going);
  } catch (...) {
    // One way out for every early end: the failure's message first, then
    // the unfinished file goes (with its closing; a file of the joined name
    // was never touched), then "stopped".
    std::exception_ptr unknown;
    bool stopped = false;
    try {
      throw;
    } catch (const RuntimeError& e) {
      ui.message(errorMessage(e));
    } catch (const StopRequested&) {
      stopped = true;
      ui.statusText(text::kStopping);  // while the unfinished file goes
    } catch (...) {
      unknown = std::current_exception();  // told by the caller, after the clean-up
    }
    fs.closeAll();
    if (stopped) {
      ui.message(text::kStopped);
      ui.clearStatus();
    }
    if (stopped || writing) ui.refreshFileList();
    if (unknown) std::rethrow_exception(unknown);
  }
}

}  // namespace vexo
