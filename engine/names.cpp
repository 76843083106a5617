#include "names.h"

namespace vexo {

NameAnalysis analyseName(const std::string& chosen) {
  NameAnalysis a;
  const auto dot = chosen.rfind('.');
  if (dot == std::string::npos) {
    a.base = chosen + ".";
  } else {
    a.base = chosen.substr(0, dot + 1);
    a.extension = chosen.substr(dot + 1);
  }
  // Only an extension of decimal digits alone is a number (clip.3gp and
  // archive.7z are ordinary files); a value beyond the 16-bit signed range
  // makes the name an ordinary file too.
  int value = 0;
  for (char c : a.extension) {
    if (c < '0' || c > '9') {
      value = 0;
      break;
    }
    value = value * 10 + (c - '0');
    if (value > 32767) {
      value = 0;
      break;
    }
  }
  a.pieceNumber = value;
  if (value != 0 && a.extension[0] == '0') a.width = static_cast<int>(a.extension.size());
  return a;
}

std::string pieceNumberText(std::int64_t k, int width) {
  std::string digits = std::to_string(k);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::int64_t pieceNumberOf(const std::string& name, const std::string& base, int width) {
  if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) return 0;
  const std::size_t digits = name.size() - base.size();
  std::int64_t k = 0;
  for (std::size_t i = base.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    if (k > 99999999999999999) return 0;  // beyond any set
    k = k * 10 + (name[i] - '0');
  }
  if (k == 0 || pieceNumberText(k, width).size() != digits) return 0;
  return k;
}

std::string splitPieceBase(const std::string& chosen, const NameAnalysis& a, bool shortNaming) {
  return shortNaming ? a.base : chosen + ".";
}

std::string splitPieceName(const std::string& chosen, const NameAnalysis& a, std::int64_t k,
                           bool shortNaming, int width) {
  return splitPieceBase(chosen, a, shortNaming) + pieceNumberText(k, width);
}

std::string recordName(const std::string& pieceBase) { return pieceBase + "crc"; }

std::string joinedFileName(const std::string& base, const std::string& extension) {
  if (extension.empty()) return base.substr(0, base.size() - 1);
  return base + extension;
}

std::string joinPieceName(const std::string& base, const std::string& /*extension*/, std::int64_t k,
                          int width) {
  return base + pieceNumberText(k, width);
}

}  // namespace vexo
