// One split or join request, as data: everything the engine needs to know
// before it starts. The window (or the command line) builds it once; the
// engine reads nothing else from whoever runs it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vexo {

// The two piece sizes named after floppy formats.
inline constexpr std::int32_t kPieceSize144 = 1457664;  // "1.44M(DOS/V)"
inline constexpr std::int32_t kPieceSize12 = 1250304;   // "1.2M(PC98)"

struct Job {
  // The folder the chosen file is in, as the window shows it; empty means
  // the current directory.
  std::string folder;
  // The chosen file's bare name: its bytes as the file system gives them.
  std::string chosen;
  // Bytes per piece of a split.
  std::int64_t pieceSize = kPieceSize144;
  // Short naming ("16bit 互換"): the piece number replaces the extension.
  bool shortNaming = false;
  // Least number of digits of a piece number a split writes (3: ".001").
  int digits = 1;
  // Where a split puts its pieces and record, or a join its joined file;
  // empty means the chosen file's folder.
  std::string outputFolder;
  // The joined file's extension when it is given beforehand; otherwise a
  // join under short naming asks for it.
  std::optional<std::string> extension;
  // Recovery data written with a split, in percent of the pieces (0: none).
  int recoveryPercent = 0;
};

}  // namespace vexo
