#include "name_rules.h"

#include <array>

namespace vexo {
namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsUpper(const std::string& s, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (i >= s.size() || upper(s[i]) != word[i]) return false;
  return i == s.size();
}

// Whether the stem (the name up to its first dot, trailing blanks left
// out, as Windows reads a device name) names a device.
std::string deviceIn(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (equalsUpper(stem, device)) return stem;
  if (stem.size() >= 4 && (equalsUpper(stem.substr(0, 3), "COM") || equalsUpper(stem.substr(0, 3), "LPT"))) {
    const std::string number = stem.substr(3);
    // COM1 to COM9, and the superscript digits ¹ ² ³ Windows reads as 1 to 3.
    const bool digit = number.size() == 1 && number[0] >= '1' && number[0] <= '9';
    const bool superscript = number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
    if (digit || superscript) return stem;
  }
  return {};
}

}  // namespace

std::string windowsNameProblem(const std::string& name) {
  if (name.empty()) return "名前がありません";
  if (name.back() == '.' || name.back() == ' ')
    return "名前の最後のピリオドや空白は Windows では取り除かれ，別のファイルを指します";
  if (name.find(':') != std::string::npos)
    return "「:」は Windows ではファイルの別のデータ（ストリーム）を指します";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string("<>\"/\\|?*").find(c) != std::string::npos)
      return "Windows ではファイル名に使えない文字が含まれています";
  }
  if (const std::string device = deviceIn(name); !device.empty())
    return "「" + device + "」は Windows では装置の名前です";
  return {};
}

}  // namespace vexo
