#include "record.h"

#include "messages.h"
#include "names.h"

namespace vexo {
namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::optional<std::int64_t> decimal(const std::string& value) {
  if (value.empty() || value.size() > 18) return std::nullopt;
  std::int64_t v = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::optional<std::uint32_t> hex32(const std::string& value) {
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
  return v;
}

}  // namespace

std::string formatRecord(const SetRecord& record) {
  std::string text = "filename=" + record.filename + "\r\n";
  const std::string& utf8 = record.filenameUtf8.empty() ? record.filename : record.filenameUtf8;
  if (isUtf8(utf8)) text += "filenameutf8=" + utf8 + "\r\n";
  return text + "size=" + std::to_string(record.size) + "\r\ncrc32=" + text::hex8(record.crc) + "\r\n" +
         (record.attributes.empty() ? "" : "attributes=" + record.attributes + "\r\n");
}

std::optional<SetRecord> parseRecord(const std::string& text) {
  if (text.size() > kMaxRecord) return std::nullopt;
  SetRecord r;
  bool haveSize = false, haveCrc = false;
  std::size_t start = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a byte-order mark some editors add
  while (start < text.size()) {
    // A line ends at CR, LF or CRLF.
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = lower(trimmed(line.substr(0, eq)));
    const std::string value = trimmed(line.substr(eq + 1));
    if (key == "filename" || key == "filenameutf8") {
      std::string& field = key == "filename" ? r.filename : r.filenameUtf8;
      if (!field.empty() && field != value) return std::nullopt;
      field = value;
    } else if (key == "attributes") {
      r.attributes = value;
    } else if (key == "size") {
      const auto v = decimal(value);
      if (!v || (haveSize && *v != r.size)) return std::nullopt;
      r.size = *v;
      haveSize = true;
    } else if (key == "crc32") {
      const auto v = hex32(value);
      if (!v || (haveCrc && *v != r.crc)) return std::nullopt;
      r.crc = *v;
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

FoundRecord findRecord(FileServices& fs, const std::vector<std::string>& names, const std::string& base, int f,
                       bool ignoreCase) {
  // Every spelling of the extension; "crc" before "CRC" before the others.
  auto rank = [](const std::string& extension) { return extension == "crc" ? 0 : extension == "CRC" ? 1 : 2; };
  FoundRecord found;
  int best = 3;
  for (const std::string& name : names) {
    if (name.size() != base.size() + 3 || !startsWithName(name, base, ignoreCase)) continue;
    const std::string extension = name.substr(base.size());
    if (lower(extension) != "crc" || rank(extension) >= best) continue;
    best = rank(extension);
    found.name = name;
  }
  if (found.name.empty()) return found;
  if (const auto r = readRecord(fs, found.name, f)) {
    found.state = FoundRecord::Read;
    found.record = *r;
  } else {
    found.state = FoundRecord::Unreadable;
  }
  return found;
}

std::string recordedName(const SetRecord& record) {
  return record.filenameUtf8.empty() ? record.filename : record.filenameUtf8;
}

std::string recordedExtension(const SetRecord& record) {
  const std::string name = recordedName(record);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace vexo
