// The split/join request: decides from a file name whether to split the
// file or to join the set of pieces it belongs to, and does it.
#pragma once

#include <cstdint>
#include <string>

#include "file_services.h"
#include "user_interface.h"

namespace vexo {

// The program-wide proceed flag: true (-1) when the extension dialog was
// left with OK. Every request sets it true; the dialog clears and sets it.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;
extern std::int16_t ProceedFlag;

// The two piece sizes offered.
inline constexpr std::int32_t kPieceSize144 = 1457664;  // "1.44M(DOS/V)"
inline constexpr std::int32_t kPieceSize12 = 1250304;   // "1.2M(PC98)"

// Runs one request on the caller's thread for the bare file name (relative
// to the current directory). The outcome reaches the user only through ui.
void proc1(FileServices& fs, UserInterface& ui, const std::string& name);

// Stamps the file with the local date-time (last-write time only). A file
// that cannot be opened is reported with "SetFileDateTime Error File=" + name.
void SetFileDateTime(FileServices& fs, UserInterface& ui, const std::string& name,
                     const FileDateTime& dt);
// The same for a file written under a hidden name: the message names the
// file it is to become.
void SetFileDateTime(FileServices& fs, UserInterface& ui, const std::string& name,
                     const FileDateTime& dt, const std::string& shownName);

}  // namespace vexo
