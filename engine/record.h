// The record of a split set, a small text file beside its pieces:
//   filename=report.doc
//   filenameutf8=report.doc
//   size=3000000
//   crc32=1A2B3C4D
//   attributes=hidden,system
// (the source's name, the same in UTF-8 when it is UTF-8, its length in
// decimal, the CRC-32 of all its bytes, and, only when there are any, the
// source's attribute bits the pieces do not carry, in words). Lines end in
// CRLF when written. Read generously, as other programs write it: CRLF, LF
// or CR lines, a UTF-8 byte-order mark, blanks around "=" and at line ends,
// keys in any letter case; other lines are ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "file_services.h"

namespace vexo {

struct SetRecord {
  std::string filename;
  std::int64_t size = 0;
  std::uint32_t crc = 0;
  std::string filenameUtf8;  // filenameutf8=, when the record has it
  std::string attributes{};  // bits for the joined file only, in words; "" for none
  friend bool operator==(const SetRecord&, const SetRecord&) = default;
};

// A record longer than this is not one.
inline constexpr std::size_t kMaxRecord = 4096;

std::string formatRecord(const SetRecord& record);
// The record the text holds; nothing unless it has a decimal size= and an
// 8-digit hexadecimal crc32= (a key given twice with different values
// makes it no record either).
std::optional<SetRecord> parseRecord(const std::string& text);

// Reads the named file as a record through file number f; nothing when it
// is not a regular file or not a record.
std::optional<SetRecord> readRecord(FileServices& fs, const std::string& name, int f);

// A set's record as a join finds it.
struct FoundRecord {
  enum State { None, Unreadable, Read } state = None;
  std::string name;  // as the directory spells it
  SetRecord record;
};
// The record of the pieces named base + number: base + "crc" in any letter
// case of "crc" (the lower-case spelling first), among the directory's names.
FoundRecord findRecord(FileServices& fs, const std::vector<std::string>& names, const std::string& base, int f,
                       bool ignoreCase = false);

// The name a record gives the file that was split: filenameutf8= when it
// has one, else filename=.
std::string recordedName(const SetRecord& record);

// The extension the recorded name gives (after its last "."; empty
// without one).
std::string recordedExtension(const SetRecord& record);

}  // namespace vexo
