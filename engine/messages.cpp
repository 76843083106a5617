#include "messages.h"

namespace vexo::text {

std::string hex8(std::uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = digits[value & 0xF];
  return out;
}

std::string grouped(std::int64_t value) {
  const std::string digits = std::to_string(value);
  const std::size_t sign = digits[0] == '-' ? 1 : 0;
  const std::size_t n = digits.size() - sign;
  std::string out = digits.substr(0, sign);
  for (std::size_t i = 0; i < n; ++i) {
    if (i != 0 && (n - i) % 3 == 0) out += ',';
    out += digits[sign + i];
  }
  return out;
}

std::string pieceNotFound(const std::string& piece) { return "分割ファイル " + piece + " が見つかりません．"; }

std::string gapQuestion(const std::vector<std::string>& missing, std::size_t moreMissing,
                        const std::string& lastFound) {
  std::string names;
  for (const auto& m : missing) names += (names.empty() ? "" : "，") + m;
  if (moreMissing > 0) names += " ほか " + std::to_string(moreMissing) + " 個";
  return "分割ファイル " + names + " が見つかりません．\n" + lastFound + " までの分割ファイルだけを結合しますか？";
}

std::string oddLengthQuestion(const std::string& piece, const std::string& lastBefore) {
  return "分割ファイル " + piece + " の長さが他の分割ファイルと合いません．\n" + lastBefore +
         " までの分割ファイルだけを結合しますか？";
}

std::string existsQuestion(const std::string& name) { return name + " は既にあります．上書きしますか？"; }

std::string piecesExistQuestion(const std::string& first, std::size_t count) {
  return (count > 1 ? first + " など " + std::to_string(count) + " 個のファイル" : first) +
         " は既にあります．上書きしますか？";
}

std::string notRegularFile(const std::string& name) {
  return name + " は普通のファイルではない（リンク，ディレクトリ，デバイスなど）ので使えません．";
}

std::string notARecord(const std::string& name) {
  return name + " は分割ファイルの記録ではないので上書きできません．";
}

std::string sizeMismatch(const std::string& record, std::int64_t pieces, std::int64_t recorded) {
  return "分割ファイルの長さの合計 " + grouped(pieces) + " バイトが記録 " + record + " の " + grouped(recorded) +
         " バイトと合いません．結合しませんでした．";
}

std::string crcMismatch(const std::string& record, std::uint32_t joined, std::uint32_t recorded) {
  return "結合したデータの CRC-32 " + hex8(joined) + " が記録 " + record + " の " + hex8(recorded) +
         " と合いません．結合ファイルは作りませんでした．";
}

std::string noSpace(std::int64_t needed, std::int64_t available) {
  return "ディスクの空き容量が足りません．" + grouped(needed) + " バイト必要ですが，空きは " + grouped(available) +
         " バイトです．";
}

std::string sourceChanged(const std::string& name) {
  return name + " が分割中に変わったので，分割ファイルを削除しました．";
}

}  // namespace vexo::text
