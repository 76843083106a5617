#include "settings_store.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "size_text.h"

namespace vexo {

namespace {

// Section and key of each value.
struct Key {
  const char* section;
  const char* key;
};
constexpr Key kMainLeft{"Settings", "MainLeft"};
constexpr Key kMainTop{"Settings", "MainTop"};
constexpr Key kBit16{"Checks", "Bit16"};
constexpr Key kSize{"Checks", "Size"};
constexpr Key kCustomSize{"Checks", "CustomSize"};
constexpr Key kDigits3{"Checks", "Digits3"};
constexpr Key kOutputDir{"Settings", "OutputDir"};
constexpr Key kRecovery{"Checks", "Recovery"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Drops one leading "+" (the conversions below take only "-").
std::string_view withoutPlus(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  return s;
}

// Whether the text is a plain decimal number: an optional sign, digits with
// at most one decimal point (at least one digit), an optional exponent.
bool isDecimalNumber(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == s.size();
}

// A position read as a single-precision number. Text that is no number, a
// value beyond single precision, or a position beyond what a window can be
// moved to counts as absent.
std::optional<double> readPosition(SettingsStore& store, const Key& k) {
  const std::optional<std::string> stored = store.read(k.section, k.key);
  if (!stored) return std::nullopt;
  const std::string_view text = trimmed(*stored);
  if (!isDecimalNumber(text)) return std::nullopt;
  const std::string_view digits = withoutPlus(text);
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
    return std::nullopt;
  const float single = static_cast<float>(value);
  if (single == 0 && value != 0) return std::nullopt;  // vanishes in single precision
  if (std::fabs(single) > kMaxPositionTwips) return std::nullopt;
  return single;
}

// A switch read as a 16-bit integer; text that is no whole number, or a
// number outside 0..highest, counts as absent.
std::optional<int> readSwitch(SettingsStore& store, const Key& k, int highest) {
  const std::optional<std::string> stored = store.read(k.section, k.key);
  if (!stored) return std::nullopt;
  const std::string_view text = withoutPlus(trimmed(*stored));
  if (text.empty() || text.front() == '+') return std::nullopt;
  short value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 0 || value > highest) return std::nullopt;
  return value;
}

}  // namespace

std::string numberText(double value) {
  // The store holds single precision, so write what will be read back.
  const float single = static_cast<float>(value);
  if (single == 0) return "0";  // never "-0"
  // Fixed notation with no precision given yields the shortest digits that
  // read back to the same value, never an exponent, and no trailing ".0".
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, single, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

StoredSettings loadSettings(SettingsStore& store) {
  StoredSettings values;  // the defaults for whatever is absent or unusable
  if (const auto left = readPosition(store, kMainLeft)) values.mainLeft = *left;
  if (const auto top = readPosition(store, kMainTop)) values.mainTop = *top;
  if (const auto bit16 = readSwitch(store, kBit16, 2)) values.bit16 = *bit16;
  if (const auto size = readSwitch(store, kSize, 2)) values.size = *size;
  if (const auto text = store.read(kCustomSize.section, kCustomSize.key);
      text && parsePieceSize(*text))
    values.customSize = *text;
  if (values.size == 2 && values.customSize.empty()) values.size = 0;
  if (const auto digits3 = readSwitch(store, kDigits3, 1)) values.digits3 = *digits3;
  if (const auto dir = store.read(kOutputDir.section, kOutputDir.key)) values.outputDir = *dir;
  if (const auto recovery = readSwitch(store, kRecovery, 100)) values.recovery = *recovery;
  return values;
}

bool saveSettings(SettingsStore& store, const StoredSettings& values, bool minimised) {
  bool stored = true;
  auto put = [&](const Key& k, const std::string& text) {
    if (!store.write(k.section, k.key, text)) stored = false;
  };
  // A minimised window's position is not where it should reopen; the one
  // stored before stays.
  if (!minimised && std::isfinite(values.mainLeft) && std::isfinite(values.mainTop)) {
    put(kMainLeft, numberText(values.mainLeft));
    put(kMainTop, numberText(values.mainTop));
  }
  put(kBit16, std::to_string(values.bit16));
  put(kSize, values.size == 2 ? "2" : values.size != 0 ? "1" : "0");
  put(kCustomSize, values.customSize);
  put(kDigits3, values.digits3 != 0 ? "1" : "0");
  // The output folder and the recovery data are written once they are used
  // (or were stored before, so that turning them off is kept): a store that
  // never had them stays as it was.
  if (!values.outputDir.empty() || store.read(kOutputDir.section, kOutputDir.key))
    put(kOutputDir, values.outputDir);
  const int recovery = values.recovery >= 0 && values.recovery <= 100 ? values.recovery : 0;
  if (recovery != 0 || store.read(kRecovery.section, kRecovery.key))
    put(kRecovery, std::to_string(recovery));
  if (!store.flush()) stored = false;
  return stored;
}

}  // namespace vexo
