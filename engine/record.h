// The record of a split set, a small text file beside its pieces:
//   filename=report.doc
//   size=3000000
//   crc32=1A2B3C4D
// (the source's name, its length in decimal, and the CRC-32 of all its
// bytes). Lines end in CRLF when written; CRLF and LF are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "file_services.h"

namespace vexo {

struct SetRecord {
  std::string filename;
  std::int64_t size = 0;
  std::uint32_t crc = 0;
  friend bool operator==(const SetRecord&, const SetRecord&) = default;
};

// A record longer than this is not one.
inline constexpr std::size_t kMaxRecord = 4096;

std::string formatRecord(const SetRecord& record);
// The record the text holds; nothing unless it has a decimal size= and an
// 8-digit hexadecimal crc32= (keys in either case, other lines ignored).
std::optional<SetRecord> parseRecord(const std::string& text);

// Reads the named file as a record through file number f; nothing when it
// is not a regular file or not a record.
std::optional<SetRecord> readRecord(FileServices& fs, const std::string& name, int f);

// The extension a record's filename= gives (after its last "."; empty
// without one).
std::string recordedExtension(const SetRecord& record);

}  // namespace vexo
