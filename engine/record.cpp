#include "record.h"

#include "messages.h"

namespace vexo {
namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

std::string formatRecord(const SetRecord& record) {
  return "filename=" + record.filename + "\r\nsize=" + std::to_string(record.size) + "\r\ncrc32=" +
         text::hex8(record.crc) + "\r\n";
}

std::optional<SetRecord> parseRecord(const std::string& text) {
  if (text.size() > kMaxRecord) return std::nullopt;
  SetRecord r;
  bool haveSize = false, haveCrc = false;
  std::size_t start = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a byte-order mark some editors add
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = lower(line.substr(0, eq));
    const std::string value = line.substr(eq + 1);
    if (key == "filename") {
      r.filename = value;
    } else if (key == "size") {
      if (value.empty() || value.size() > 18) return std::nullopt;
      std::int64_t v = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
      }
      r.size = v;
      haveSize = true;
    } else if (key == "crc32") {
      if (value.size() != 8) return std::nullopt;
      std::uint32_t v = 0;
      for (char c : value) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
      }
      r.crc = v;
      haveCrc = true;
    }
  }
  if (!haveSize || !haveCrc) return std::nullopt;
  return r;
}

std::optional<SetRecord> readRecord(FileServices& fs, const std::string& name, int f) {
  if (fs.kind(name, true) != FileKind::Regular) return std::nullopt;
  std::string text(kMaxRecord + 1, '\0');
  fs.openRead(name, f);
  std::size_t got = 0;
  try {
    got = fs.read(f, text.data(), text.size());
  } catch (...) {
    fs.close(f);
    throw;
  }
  fs.close(f);
  text.resize(got);
  return parseRecord(text);
}

std::string recordedExtension(const SetRecord& record) {
  const auto dot = record.filename.rfind('.');
  return dot == std::string::npos ? std::string() : record.filename.substr(dot + 1);
}

}  // namespace vexo
