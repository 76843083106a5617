#include "size_text.h"

#include <string>

namespace vexo {
namespace {

// Folds the full-width forms of ASCII (U+FF01..U+FF5E, and the ideographic
// space U+3000) to ASCII, so that "６５０ＭＢ" reads as "650MB". Other
// characters are kept as they are.
std::string foldFullWidth(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const auto c0 = static_cast<unsigned char>(in[i]);
    if (i + 2 < in.size()) {
      const auto c1 = static_cast<unsigned char>(in[i + 1]);
      const auto c2 = static_cast<unsigned char>(in[i + 2]);
      // U+FF01..U+FF3F is EF BC 81..BF; U+FF40..U+FF5E is EF BD 80..9E.
      if (c0 == 0xEF && c1 == 0xBC && c2 >= 0x81 && c2 <= 0xBF) {
        out += static_cast<char>(c2 - 0x81 + 0x21);
        i += 3;
        continue;
      }
      if (c0 == 0xEF && c1 == 0xBD && c2 >= 0x80 && c2 <= 0x9E) {
        out += static_cast<char>(c2 - 0x80 + 0x60);
        i += 3;
        continue;
      }
      if (c0 == 0xE3 && c1 == 0x80 && c2 == 0x80) {  // U+3000
        out += ' ';
        i += 3;
        continue;
      }
    }
    out += in[i++];
  }
  return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The text without blanks, ASCII letters in lower case: how an entry is
// compared with the presets.
std::string squeezed(std::string_view s) {
  std::string out;
  for (char c : s)
    if (!isBlank(c)) out += lower(c);
  return out;
}

// Multiplier of a unit, 0 for an unknown one.
std::int64_t unitFactor(std::string_view unit) {
  std::string u;
  for (char c : unit) u += lower(c);
  constexpr std::int64_t k = 1000, ki = 1024;
  if (u.empty() || u == "b") return 1;
  if (u == "k" || u == "kb") return k;
  if (u == "m" || u == "mb") return k * k;
  if (u == "g" || u == "gb") return k * k * k;
  if (u == "t" || u == "tb") return k * k * k * k;
  if (u == "kib") return ki;
  if (u == "mib") return ki * ki;
  if (u == "gib") return ki * ki * ki;
  if (u == "tib") return ki * ki * ki * ki;
  return 0;
}

std::int64_t gcd(std::int64_t a, std::int64_t b) {
  while (b != 0) {
    const std::int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Whether s[i..] starts with exactly three digits (no fourth right after).
bool groupOfThreeAt(std::string_view s, std::size_t i) {
  return i + 3 <= s.size() && isDigit(s[i]) && isDigit(s[i + 1]) && isDigit(s[i + 2]) &&
         (i + 3 == s.size() || !isDigit(s[i + 3]));
}

}  // namespace

std::optional<std::int64_t> parsePieceSize(std::string_view text) {
  const std::string folded = foldFullWidth(text);
  const std::string key = squeezed(folded);
  for (const auto& preset : kFloppySizes)
    if (key == squeezed(preset.text)) return preset.bytes;
  for (const auto& preset : kSizePresets)
    if (key == squeezed(preset.text)) return preset.bytes;

  std::string_view s = trim(folded);
  // A note in parentheses at the end, as the presets carry.
  if (!s.empty() && s.back() == ')') {
    const auto open = s.rfind('(');
    if (open == std::string_view::npos) return std::nullopt;
    s = trim(s.substr(0, open));
  }

  // The number: whole digits, optionally a point and fraction digits.
  constexpr std::int64_t kLimit = kMaxPieceSize * 10;  // far beyond any size accepted
  std::int64_t whole = 0;
  std::int64_t fraction = 0;       // the fraction's digits as a whole number
  std::int64_t fractionScale = 1;  // 10^(number of fraction digits)
  std::size_t digits = 0;          // digits read, whole and fraction
  std::size_t groupDigits = 0;     // digits since the start or the last separator
  bool grouped = false;
  bool point = false;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (isDigit(c)) {
      ++digits;
      if (!point) {
        ++groupDigits;
        whole = whole * 10 + (c - '0');
        if (whole > kLimit) return std::nullopt;
      } else {
        if (fractionScale > kLimit) return std::nullopt;  // more precision than any unit needs
        fraction = fraction * 10 + (c - '0');
        fractionScale *= 10;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else if ((c == ',' || c == '_') && !point) {
      // Separates groups of three: the first group has one to three digits,
      // every later one exactly three.
      if (groupDigits == 0 || groupDigits > 3 || (grouped && groupDigits != 3) ||
          !groupOfThreeAt(s, i + 1))
        return std::nullopt;
      grouped = true;
      groupDigits = 0;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  const std::int64_t factor = unitFactor(trim(s.substr(i)));
  if (factor == 0) return std::nullopt;

  // whole * factor + fraction * factor / fractionScale, which must be whole.
  if (whole > kLimit / factor) return std::nullopt;
  std::int64_t bytes = whole * factor;
  if (fraction != 0) {
    // With g = gcd(factor, fractionScale), the fraction gives whole bytes
    // only when fraction is a multiple of fractionScale / g; the bytes are
    // then (fraction / (fractionScale / g)) * (factor / g), which is below
    // factor, so nothing overflows.
    const std::int64_t g = gcd(factor, fractionScale);
    const std::int64_t scale = fractionScale / g;
    if (fraction % scale != 0) return std::nullopt;  // not a whole number of bytes
    bytes += (fraction / scale) * (factor / g);
  }
  if (bytes < 1 || bytes > kMaxPieceSize) return std::nullopt;
  return bytes;
}

}  // namespace vexo
