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
  // The leading decimal digits of the extension; a value beyond the 16-bit
  // signed range makes the name an ordinary file.
  int value = 0;
  for (char c : a.extension) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 32767) {
      value = 0;
      break;
    }
  }
  a.pieceNumber = value;
  return a;
}

std::string splitPieceName(const std::string& chosen, const NameAnalysis& a, std::int64_t k,
                           bool shortNaming) {
  return (shortNaming ? a.base : chosen + ".") + std::to_string(k);
}

std::string joinedFileName(const std::string& base, const std::string& extension) {
  if (extension.empty()) return base.substr(0, base.size() - 1);
  return base + extension;
}

std::string joinPieceName(const std::string& base, const std::string& /*extension*/,
                          std::int64_t k) {
  return base + std::to_string(k);
}

}  // namespace vexo
