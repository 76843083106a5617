#include "names.h"

#include <algorithm>

namespace vexo {
namespace {

char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

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
  bool digits = !a.extension.empty();
  for (char c : a.extension) {
    if (c < '0' || c > '9') {
      value = 0;
      digits = false;
      break;
    }
    value = value * 10 + (c - '0');
    if (value > 32767) {
      value = 0;
      digits = false;
      break;
    }
  }
  a.pieceNumber = value;
  // A leading zero gives the width of a zero-padded set; "0" alone is no
  // padding, so "name.0" stays an ordinary file.
  if (digits && a.extension.size() > 1 && a.extension[0] == '0') a.width = static_cast<int>(a.extension.size());
  return a;
}

bool sameName(const std::string& a, const std::string& b, bool ignoreCase) {
  if (a.size() != b.size()) return false;
  if (!ignoreCase) return a == b;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

bool startsWithName(const std::string& name, const std::string& prefix, bool ignoreCase) {
  return name.size() >= prefix.size() && sameName(name.substr(0, prefix.size()), prefix, ignoreCase);
}

std::string pieceNumberText(std::int64_t k, int width) {
  std::string digits = std::to_string(k);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::optional<std::int64_t> numberIn(const std::string& name, const std::string& base, int width,
                                     bool ignoreCase) {
  if (name.size() <= base.size() || !startsWithName(name, base, ignoreCase)) return std::nullopt;
  const std::size_t digits = name.size() - base.size();
  std::int64_t k = 0;
  std::size_t significant = 0;
  for (std::size_t i = base.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    if (k != 0 || name[i] != '0') ++significant;
    if (significant > 18) return std::nullopt;  // beyond any set
    k = k * 10 + (name[i] - '0');
  }
  if (pieceNumberText(k, width).size() != digits) return std::nullopt;
  return k;
}

std::int64_t pieceNumberOf(const std::string& name, const std::string& base, int width, bool ignoreCase) {
  const auto k = numberIn(name, base, width, ignoreCase);
  return k && *k >= 1 ? *k : 0;
}

std::map<std::int64_t, std::string> numberedNames(const std::vector<std::string>& names, const std::string& base,
                                                  int width, bool ignoreCase) {
  std::map<std::int64_t, std::string> out;
  for (const std::string& name : names)
    if (const auto k = numberIn(name, base, width, ignoreCase)) out.emplace(*k, name);
  return out;
}

std::int64_t runEnd(const std::map<std::int64_t, std::string>& numbered, std::int64_t from) {
  std::int64_t last = from - 1;
  for (auto it = numbered.find(from); it != numbered.end() && it->first == last + 1; ++it) last = it->first;
  return last;
}

int setWidth(const std::vector<std::string>& names, const std::string& base, int width, int chosenDigits,
             bool ignoreCase) {
  if (width != 1 || chosenDigits <= 1) return width;
  bool plain = false, padded = false;
  for (const std::string& name : names) {
    const auto plainK = numberIn(name, base, 1, ignoreCase);
    const auto paddedK = numberIn(name, base, chosenDigits, ignoreCase);
    plain = plain || (plainK && *plainK == 1);
    padded = padded || (paddedK && (*paddedK == 0 || *paddedK == 1) && !plainK);
  }
  return !plain && padded ? chosenDigits : width;
}

std::size_t firstOddLength(const std::vector<std::int64_t>& lengths) {
  for (std::size_t i = 1; i < lengths.size(); ++i)
    if (i + 1 == lengths.size() ? lengths[i] > lengths[0] : lengths[i] != lengths[0]) return i;
  return lengths.size();
}

SetStart setStart(const std::vector<std::int64_t>& lengthsFromZero, std::optional<std::int64_t> recordSize) {
  std::int64_t all = 0;
  for (const std::int64_t n : lengthsFromZero) all += n;
  const std::int64_t fromOne = lengthsFromZero.empty() ? 0 : all - lengthsFromZero.front();
  const bool zeroFits = recordSize ? all == *recordSize : firstOddLength(lengthsFromZero) == lengthsFromZero.size();
  if (zeroFits) return SetStart::Zero;
  if (recordSize && fromOne == *recordSize) return SetStart::One;
  return recordSize ? SetStart::Zero : SetStart::Unknown;
}

SetGap gapAfter(const std::map<std::int64_t, std::string>& numbered, std::int64_t last, std::size_t namedAtMost) {
  SetGap gap;
  const std::int64_t near = last + std::max<std::int64_t>(last, kFarPast);
  std::int64_t previous = last;
  for (auto it = numbered.upper_bound(last); it != numbered.end() && it->first <= near; ++it) {
    for (std::int64_t k = previous + 1; k < it->first && gap.named.size() < namedAtMost; ++k) gap.named.push_back(k);
    gap.count += it->first - previous - 1;
    previous = it->first;
    gap.beyond.push_back(it->second);
  }
  return gap;
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

bool isUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n;
    std::uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= bytes.size()) return false;  // cut short
    for (std::size_t j = 1; j <= n; ++j) {
      const auto d = static_cast<unsigned char>(bytes[i + j]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

}  // namespace vexo
