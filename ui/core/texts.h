// The texts both windows show: captions of the forms and their controls,
// and the messages of the main window. UTF-8; a view converts them to its
// own string type (QString::fromUtf8, MultiByteToWideChar(CP_UTF8, ...)).
#pragma once

#include <string>

namespace vexo::text {

// The application's title: message boxes carry it, and the settings are
// filed under it.
inline constexpr const char kAppTitle[] = "VEXO";

// Main window.
inline constexpr const char kMainCaption[] = "VEXO for Win32 Ver2.3.0";
inline constexpr const char kLabel1[] = "分割・結合するファイル";
inline constexpr const char kFrame1[] = "分割サイズ";
inline constexpr const char kOption1_0[] = "1.44M(DOS/V)";
inline constexpr const char kOption1_1[] = "1.2M(PC98)";
inline constexpr const char kCheck1[] = "16bit 互換";
// The third size choice, with the size box beside it (its presets are in
// size_text.h), and the switch for piece numbers of at least three digits.
inline constexpr const char kOption1_2[] = "指定サイズ";
inline constexpr const char kCheck2[] = "3桁番号 (.001)";
// Beside Check2: recovery data written with a split, and its unit.
inline constexpr const char kCheck3[] = "復元データ";
inline constexpr const char kPercent[] = "%";
// The output folder's row: its label, the button that opens the folder
// chooser, and what the field shows when the pieces or the joined file go
// beside the chosen file.
inline constexpr const char kOutLabel[] = "出力先";
inline constexpr const char kOutBrowse[] = "参照…";
inline constexpr const char kSameFolder[] = "(元のフォルダ)";
// The three buttons have a full-width space between their two characters.
inline constexpr const char kRetBottn[] = "決　定";
inline constexpr const char kRefreshBottn[] = "更　新";
inline constexpr const char kExitBottn[] = "終　了";
// Ret_bottn's caption while a request runs: pressing it stops the request.
inline constexpr const char kRetStop[] = "中　止";

// Extension dialog.
inline constexpr const char kInputCaption[] = "拡張子入力";
inline constexpr const char kInputLabel1[] = "結合後の拡張子を入力して下さい";
inline constexpr const char kCommand1[] = "決　定";
inline constexpr const char kCommand2[] = "取　消";
// The extensions Combo1 offers, in this order, unsorted.
inline constexpr const char* const kExtensions[] = {"exe", "lzh", "mdb", "xls"};

// Messages of the main window.
inline constexpr const char kDeviceUnavailable[] = "ドライブの準備ができていません．";
inline constexpr const char kDiskNotReady[] = "ディスクの準備ができていません．";
// Followed by the error number in decimal.
inline constexpr const char kErrorNumber[] = "エラーです．エラー番号は";
// A split asked for while the size box holds no usable size.
inline constexpr const char kBadSize[] =
    "分割サイズが正しくありません．1 バイトから 1TiB (1,099,511,627,776 バイト) までの大きさを，"
    "1457664，650M，25MB，1.5GiB のように入力して下さい．";
// The status line while nothing runs and the size box is chosen: what it
// stands for, given as the grouped byte count ("650,000,000"), on a line of
// its own so that even 1 TiB fits the line's width.
inline std::string chosenSize(const std::string& groupedBytes) {
  return "指定サイズ：\n" + groupedBytes + " バイト";
}
// Closing the window, or "終　了", while a request runs.
inline constexpr const char kQuitQuestion[] = "中止して終了しますか？";

}  // namespace vexo::text
