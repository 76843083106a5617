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

std::string errorReason(int number) {
  switch (number) {
    case 52: return "ファイル名が長すぎるか，使えない文字が含まれています";
    case 53: return "ファイルが見つかりません";
    case 54: return "ファイルの開き方が正しくありません";
    case 55: return "ファイルはもう開かれています";
    case 57: return "装置の入出力でエラーが起きました";
    case 58: return "同じ名前のファイルが既にあります";
    case 61: return "ディスクがいっぱいです";
    case 67: return "開いているファイルが多すぎます";
    case 68: return "装置が使えません";
    case 70: return "アクセスが拒否されました";
    case 71: return "ディスクの準備ができていません";
    case 75: return "読み書きできませんでした";
    case 76: return "パスが見つかりません";
    default: return "処理できませんでした";
  }
}

std::string errorText(int number, const std::string& file, const std::string& systemReason) {
  return "エラーです．エラー番号:" + std::to_string(number) + "\n" + (file.empty() ? "" : file + "：") +
         errorReason(number) + (systemReason.empty() ? "" : "（" + systemReason + "）") + "．";
}

std::string splittingStatus(const std::string& piece, std::int64_t k, std::int64_t count) {
  return kSplitting + piece + " (" + std::to_string(k) + "/" + std::to_string(count) + ")";
}

std::string joiningStatus(const std::string& joined, std::int64_t k, std::int64_t count) {
  return kJoining + joined + " (" + std::to_string(k) + "/" + std::to_string(count) + ")";
}

std::string splitSummary(std::int64_t count, std::int64_t pieceSize, std::int64_t lastSize,
                         const std::string& folder, const std::string& record, bool recorded) {
  std::string pieces = grouped(pieceSize) + " バイトの分割ファイル " + grouped(count) + " 個";
  if (count > 1 && lastSize != pieceSize)
    pieces = grouped(pieceSize) + " バイトの分割ファイル " + grouped(count - 1) + " 個と " +
             grouped(lastSize) + " バイトの 1 個";
  return kSplitDone + "\n" + folder + " に " + pieces + "を作りました．" +
         (recorded ? "記録 " + record + " を書きました．"
                   : record + " は名前が長すぎて作れなかったので，分割ファイルの記録はありません．");
}

std::string joinSummary(const std::string& joined, std::int64_t size, std::int64_t pieces,
                        const std::string& folder, const std::string& record,
                        std::optional<std::uint32_t> crc, std::int64_t repairedBlocks) {
  return kJoinDone + "\n" + folder + " に " + joined + "（" + grouped(size) + " バイト）を分割ファイル " +
         grouped(pieces) + " 個から" +
         (repairedBlocks > 0 ? "，壊れたブロック " + grouped(repairedBlocks) + " 個を復元データで修復して" : "") +
         "作りました．" +
         (crc ? "記録 " + record + " と CRC-32 " + hex8(*crc) + " 一致．" : "記録がないので CRC は確かめていません．");
}

std::string unusableName(const std::string& name, const std::string& reason) {
  return name + " はこの名前のままでは使えません．\n" + reason + "．";
}

std::string notDeleted(const std::vector<std::string>& namesAndReasons) {
  std::string out = "次のファイルを削除できませんでした．";
  for (const auto& line : namesAndReasons) out += "\n" + line + "．";
  return out;
}

std::string pieceNotFound(const std::string& piece) { return "分割ファイル " + piece + " が見つかりません．"; }

std::string piecesNotFound(const std::vector<std::string>& missing, std::size_t moreMissing) {
  std::string names;
  for (const auto& m : missing) names += (names.empty() ? "" : "，") + m;
  if (moreMissing > 0) names += " ほか " + std::to_string(moreMissing) + " 個";
  return "分割ファイル " + names + " が見つかりません．";
}

std::string gapQuestion(const std::vector<std::string>& missing, std::size_t moreMissing,
                        const std::string& lastFound) {
  return piecesNotFound(missing, moreMissing) + "\n" + lastFound + " までの分割ファイルだけを結合しますか？";
}

std::string oddLengthQuestion(const std::string& piece, const std::string& lastBefore) {
  return "分割ファイル " + piece + " の長さが他の分割ファイルと合いません．\n" + lastBefore +
         " までの分割ファイルだけを結合しますか？";
}

std::string existsQuestion(const std::string& name) { return name + " は既にあります．上書きしますか？"; }

std::string piecesExistQuestion(const std::string& first, const std::string& last, std::size_t count) {
  return (count > 1 ? first + " ～ " + last + " の " + std::to_string(count) + " 個のファイル" : first) +
         " は既にあります．上書きしますか？";
}

std::string recordShared(const std::string& record, const std::string& firstOther) {
  return record + " は " + firstOther + " から始まる別の番号の分割ファイルの記録でもあります．";
}

std::string unreadableRecordQuestion(const std::string& record) {
  return record + " は分割ファイルの記録として読めません．\n記録で確かめずに結合しますか？";
}

std::string recordedNameIgnored(const std::string& record, const std::string& name, const std::string& joined) {
  return "記録 " + record + " のファイル名 " + name + " は使えないので，" + joined + " に結合します．";
}

std::string ambiguousStart(const std::string& zero, const std::string& one) {
  return "分割ファイルが " + zero + " と " + one + " のどちらから始まるのか分からないので，結合しませんでした．";
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

std::string checkedPiece(const std::string& name, std::int64_t length) {
  return name + "：" + grouped(length) + " バイト";
}

std::string checkGap(const std::vector<std::string>& missing, std::size_t moreMissing, std::size_t beyond) {
  std::string names;
  for (const auto& m : missing) names += (names.empty() ? "" : "，") + m;
  if (moreMissing > 0) names += " ほか " + std::to_string(moreMissing) + " 個";
  return "分割ファイル " + names + " が見つかりません（その後に分割ファイルが " + std::to_string(beyond) +
         " 個あります）．";
}

std::string checkOddLength(const std::string& piece) {
  return "分割ファイル " + piece + " の長さが他の分割ファイルと合いません．";
}

std::string checkTotal(std::size_t pieces, std::int64_t total, std::uint32_t crc) {
  return "分割ファイル " + std::to_string(pieces) + " 個，合計 " + grouped(total) + " バイト，CRC-32 " + hex8(crc);
}

std::string checkRecord(const std::string& record, std::int64_t size, std::uint32_t crc) {
  return "記録 " + record + "：" + grouped(size) + " バイト，CRC-32 " + hex8(crc);
}

std::string checkNoRecord(const std::string& record) { return "記録 " + record + " はありません．"; }

std::string checkRecordUnreadable(const std::string& record) {
  return record + " は分割ファイルの記録として読めません．";
}

std::string checkSizeMismatch(std::int64_t pieces, std::int64_t recorded) {
  return "長さの合計 " + grouped(pieces) + " バイトが記録の " + grouped(recorded) + " バイトと合いません．";
}

std::string checkCrcMismatch(std::uint32_t pieces, std::uint32_t recorded) {
  return "CRC-32 " + hex8(pieces) + " が記録の " + hex8(recorded) + " と合いません．";
}

std::string folderNotFound(const std::string& folder) { return "フォルダ " + folder + " が見つかりません．"; }

std::string folderNotWritable(const std::string& folder) {
  return "フォルダ " + folder + " にはファイルを作れません．\n" + folder + "：書き込みが禁止されています．";
}

}  // namespace vexo::text
