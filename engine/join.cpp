// Joining a set of pieces back into the file they came from. The set is
// checked before anything is written; the joined file is written under a
// hidden name and takes its own name only when it is whole and checked.
#include <algorithm>
#include <optional>
#include <set>

#include "block_copy.h"
#include "engine.h"
#include "messages.h"
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

}  // namespace

void join(Request& r) {
  FileServices& fs = r.fs;
  UserInterface& ui = r.ui;
  const int f = r.f;
  const std::string& base = r.name.base;
  int width = r.name.width;
  std::string extension;
  std::string temporary;  // the joined file while it is written
  std::string joinedName;
  try {
    // The set's record, under either case of its extension.
    std::string record;
    std::optional<SetRecord> recorded;
    for (const std::string& name : {recordName(base), base + "CRC"}) {
      if ((recorded = readRecord(fs, name, f))) {
        record = name;
        break;
      }
    }

    if (r.job.extension) {
      extension = *r.job.extension;
    } else if (r.job.shortNaming) {
      const auto answer = ui.askExtension(recorded ? recordedExtension(*recorded) : std::string());
      if (!answer) return;  // the dialog was not left with OK
      extension = *answer;
    }

    if (!safeExtension(extension)) {
      ui.message(text::kBadExtension);
      return;
    }
    const std::string joined = joinedName = joinedFileName(base, extension);
    if (joined.empty() || joined == "." || joined == "..") {
      ui.message(text::kBadJoinedName);
      return;
    }
    auto pieceName = [&](std::int64_t k) { return joinPieceName(base, extension, k, width); };

    // A number of several digits without a leading zero (report.doc.123)
    // may belong to a zero-padded set: then piece 1 is padded to its width.
    if (width == 1 && r.name.extension.size() > 1 &&
        fs.kind(pieceName(1), true) == FileKind::Missing &&
        fs.kind(joinPieceName(base, extension, 1, static_cast<int>(r.name.extension.size())), true) !=
            FileKind::Missing)
      width = static_cast<int>(r.name.extension.size());

    // The set: piece 1 up to the first number without a file. A name too
    // long for the file system counts as missing.
    std::int64_t found = 0;
    for (;; ++found) {
      const std::string piece = pieceName(found + 1);
      const FileKind kind = fs.kind(piece, true);
      if (kind == FileKind::Missing) break;
      if (kind != FileKind::Regular) {
        ui.message(text::notRegularFile(piece));
        return;
      }
    }
    if (found == 0) {
      ui.message(text::pieceNotFound(pieceName(1)));
      return;
    }
    // Nothing is written when the joined file would be one of the pieces.
    const auto joinedId = fs.identity(joined);
    for (std::int64_t k = 1; k <= found; ++k) {
      const std::string piece = pieceName(k);
      if (piece == joined || (joinedId && fs.identity(piece) == joinedId)) {
        ui.message(text::kJoinedIsPiece);
        return;
      }
    }
    // Nor when it would be the record, which goes with the pieces.
    if (recorded && (joined == record || (joinedId && fs.identity(record) == joinedId))) {
      ui.message(text::kJoinedIsRecord);
      return;
    }
    std::vector<std::int64_t> lengths;
    for (std::int64_t k = 1; k <= found; ++k) lengths.push_back(fs.fileLen(pieceName(k)));

    auto total = [&] {
      std::int64_t sum = 0;
      for (const std::int64_t n : lengths) sum += n;
      return sum;
    };
    if (recorded) {
      // The record tells whether the set is whole: a lost last piece or
      // pieces of an older set change the sum.
      if (total() != recorded->size) {
        ui.message(text::sizeMismatch(record, total(), recorded->size));
        return;
      }
    } else {
      // Without a record: a higher-numbered piece beyond a missing one
      // means a gap, and every piece but the last is as long as piece 1.
      std::set<std::int64_t> higher;
      for (const std::string& name : fs.listDirectory())
        if (const std::int64_t k = pieceNumberOf(name, base, width); k > found) higher.insert(k);
      if (!higher.empty()) {
        std::vector<std::string> missing;
        std::size_t more = 0;
        for (std::int64_t k = found + 1; k < *higher.rbegin(); ++k) {
          if (higher.count(k)) continue;
          if (missing.size() < kNamedMissing) missing.push_back(pieceName(k));
          else ++more;
        }
        if (ui.questionNo(text::gapQuestion(missing, more, pieceName(found))) != kAnswerYes) return;
      }
      for (std::size_t i = 1; i < lengths.size(); ++i) {
        const bool last = i + 1 == lengths.size();
        if (last ? lengths[i] <= lengths[0] : lengths[i] == lengths[0]) continue;
        const auto odd = static_cast<std::int64_t>(i) + 1;
        if (ui.questionNo(text::oddLengthQuestion(pieceName(odd), pieceName(odd - 1))) != kAnswerYes) return;
        lengths.resize(i);
        break;
      }
    }

    // An existing file of the joined name is replaced only when the user
    // says so, and never when it is a link, a directory or a device.
    switch (fs.kind(joined, false)) {
      case FileKind::Missing:
        break;
      case FileKind::Regular:
        if (ui.questionNo(text::existsQuestion(joined)) != kAnswerYes) return;
        break;
      default:
        ui.message(text::notRegularFile(joined));
        return;
    }
    if (const auto available = fs.freeSpace(); available && *available < total()) {
      ui.message(text::noSpace(total(), *available));
      return;
    }

    ui.statusText(text::kJoining + joined);
    temporary = createTemporary(fs, f, "join", joined);
    fs.writeBehind(f);  // it is flushed before it takes its name

    BlockCopier copier(fs);
    copier.watch(ui, total());
    ui.progress(0, total());
    std::uint32_t crc = 0;
    if (recorded) copier.setCrc(&crc);  // only a record has a CRC to compare with
    FileDateTime dt{};
    FileAttributes attributes = 0;
    const auto pieces = static_cast<std::int64_t>(lengths.size());
    for (std::int64_t k = 1; k <= pieces; ++k) {
      copier.setLength(kNormalBlock);
      const std::string piece = pieceName(k);
      const std::int64_t size = fs.fileLen(piece);
      dt = fs.fileDateTime(piece);
      attributes = fs.getAttr(piece);
      fs.openRead(piece, f + 1);
      copier.blockSteps(f + 1, f, size, BlockCopier::kToTheEnd);  // blocks until the tail has run
      fs.close(f + 1);
    }
    // On the disk before it takes the joined name, and before the pieces
    // may be deleted: a power cut must not leave a short file under that
    // name, nor the pieces gone with the joined bytes not yet written.
    fs.flush(f);
    fs.close(f);
    if (copier.done() != total()) ui.progress(total(), total());

    if (recorded && crc != recorded->crc) {
      const std::string left = removeAll(fs, {temporary});
      temporary.clear();
      ui.clearStatus();
      ui.message(text::crcMismatch(record, crc, recorded->crc));
      if (!left.empty()) ui.message(text::kJoinedLeft + left);
      ui.refreshFileList();
      return;
    }
    // Stamped with the last piece, which the split gave the source's time
    // and attributes; then put in place in one step.
    SetFileDateTime(fs, ui, temporary, dt, joined);
    fs.setAttr(temporary, attributes);
    fs.replace(temporary, joined);
    temporary.clear();

    ui.clearStatus();
    ui.message(text::kJoinDone);
    ui.refreshFileList();

    if (ui.question(text::kDeleteQuestion) == kAnswerYes) {
      for (std::int64_t i = 1; i <= pieces; ++i) {
        try {
          fs.kill(pieceName(i));
        } catch (const RuntimeError& e) {
          if (e.number() != err::FileNotFound) throw;  // one gone meanwhile is skipped
        }
      }
      if (recorded) {
        try {
          fs.kill(record);
        } catch (const RuntimeError& e) {
          if (e.number() != err::FileNotFound) throw;
        }
      }
      ui.refreshFileList();
    }
  } catch (const RuntimeError& e) {
    ui.message(errorMessage(e, {{temporary, joinedName}}));
    fs.closeAll();
    if (!temporary.empty()) {
      // The unfinished file goes; a file of the joined name was never touched.
      if (const std::string left = removeAll(fs, {temporary}); !left.empty()) ui.message(text::kJoinedLeft + left);
      ui.refreshFileList();
    }
  } catch (const StopRequested&) {
    // Stopped by the user: the unfinished file goes, nothing else changed.
    fs.closeAll();
    if (const std::string left = removeAll(fs, {temporary}); !left.empty()) ui.message(text::kJoinedLeft + left);
    ui.message(text::kStopped);
    ui.clearStatus();
    ui.refreshFileList();
  }
}

}  // namespace vexo
