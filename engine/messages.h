// Every text the engine shows the user, in one place, so that the windows
// and the tests can refer to them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexo::text {

inline const std::string kSplitting = "分割中 ";
inline const std::string kJoining = "結合中 ";
inline const std::string kSplitDone = "分割完了";
inline const std::string kJoinDone = "結合完了";
inline const std::string kDeleteQuestion = "分割ファイルを削除しますか？";
inline const std::string kTooSmall = "ファイルが指定サイズより小さいので分割しませんでした．";
// A file exactly as long as a piece.
inline const std::string kNotLarger = "ファイルが指定サイズ以下なので分割しませんでした．";
inline const std::string kStopped = "中止しました．";
// While a stopped request removes what it had written.
inline const std::string kStopping = "中止しています…";
inline const std::string kPiecesLeft = "途中までの分割ファイルを削除できませんでした．";
inline const std::string kOldPiecesLeft = "前の分割ファイルを削除できませんでした．";
inline const std::string kJoinedLeft = "途中までの結合ファイルを削除できませんでした．";
inline const std::string kWouldOverwriteSource = "分割ファイルの名前が元のファイルと同じになるので分割できません．";
inline const std::string kRecordWouldBeSource = "分割ファイルの記録の名前が元のファイルと同じになるので分割できません．";
inline const std::string kWouldRemoveSource = "元のファイルが前の分割ファイルの続きとして削除されるので分割できません．";
inline const std::string kBadExtension = "拡張子に使えない文字が含まれています．";
inline const std::string kBadJoinedName = "結合後のファイル名が正しくありません．";
inline const std::string kJoinedIsPiece = "結合後のファイル名が分割ファイルの名前と同じになるので結合できません．";
inline const std::string kJoinedIsRecord = "結合後のファイル名が分割ファイルの記録と同じになるので結合できません．";
inline const std::string kWritingToDisk = "ディスクに書き込み中…";
// After a replacing split stopped or failed: whether the older set is there.
inline const std::string kOldSetKept = "前の分割ファイルはそのまま残っています．";
inline const std::string kOldSetGone = "前の分割ファイルは削除しました．";
// A folder shown in the window that is gone, is no folder, or cannot be written.
std::string folderNotFound(const std::string& folder);
std::string folderNotWritable(const std::string& folder);

// The status line while piece k of count is written: "分割中 NAME (k/count)".
std::string splittingStatus(const std::string& piece, std::int64_t k, std::int64_t count);
// The status line while piece k of count is read into the joined file:
// "結合中 JOINED (k/count)".
std::string joiningStatus(const std::string& joined, std::int64_t k, std::int64_t count);
// "分割完了" and a second line: how many pieces of what size went to which
// folder, and the record written (or why there is none).
std::string splitSummary(std::int64_t count, std::int64_t pieceSize, std::int64_t lastSize,
                         const std::string& folder, const std::string& record, bool recorded);
// "結合完了" and a second line: the joined file, its size and folder, from
// how many pieces (and how many blocks of them the recovery data rebuilt),
// and the record's CRC found to match (crc empty: no record to check
// against).
std::string joinSummary(const std::string& joined, std::int64_t size, std::int64_t pieces,
                        const std::string& folder, const std::string& record,
                        std::optional<std::uint32_t> crc, std::int64_t repairedBlocks = 0);
// "分割ファイル NAME が見つかりません．"
std::string pieceNotFound(const std::string& piece);
// "分割ファイル A，B ほか N 個 が見つかりません．"
std::string piecesNotFound(const std::vector<std::string>& missing, std::size_t moreMissing);
// The set stops at a gap: the missing pieces (a few named), and whether to
// join the pieces up to lastFound only.
std::string gapQuestion(const std::vector<std::string>& missing, std::size_t moreMissing,
                        const std::string& lastFound);
// A piece whose length does not fit the set, and whether to join the pieces
// before it only.
std::string oddLengthQuestion(const std::string& piece, const std::string& lastBefore);
// The message of a runtime error: "エラーです．エラー番号:" + number, then
// on a second line the file's name (when known) and the reason in words,
// with the system's own words for it in parentheses when it gave any.
std::string errorText(int number, const std::string& file, const std::string& systemReason = {});
// The reason for an error number in words, without the final "．".
std::string errorReason(int number);
// "NAME は既にあります．上書きしますか？"
std::string existsQuestion(const std::string& name);
// Pieces (or the record) of the split already there, which it would write
// over or remove: the first and last of them and how many.
std::string piecesExistQuestion(const std::string& first, const std::string& last, std::size_t count);
// Said with that question when the record also belongs to a set of the
// other numbering (firstOther its first piece).
std::string recordShared(const std::string& record, const std::string& firstOther);
// A file of the record's name that does not read as a record: join
// without the check?
std::string unreadableRecordQuestion(const std::string& record);
// A record's filename= that cannot name the joined file.
std::string recordedNameIgnored(const std::string& record, const std::string& name, const std::string& joined);
// A set that may begin at piece 0 or at piece 1.
std::string ambiguousStart(const std::string& zero, const std::string& one);
std::string notRegularFile(const std::string& name);
std::string notARecord(const std::string& name);
std::string sizeMismatch(const std::string& record, std::int64_t pieces, std::int64_t recorded);
std::string crcMismatch(const std::string& record, std::uint32_t joined, std::uint32_t recorded);
std::string noSpace(std::int64_t needed, std::int64_t available);
std::string sourceChanged(const std::string& name);
// A name the file system cannot hold as given, and why.
std::string unusableName(const std::string& name, const std::string& reason);
// Pieces (or the record) a join could not delete, each with its reason.
std::string notDeleted(const std::vector<std::string>& namesAndReasons);
inline const std::string kInUse = "他のプログラムが使用中です";
// 8 upper-case hexadecimal digits.
std::string hex8(std::uint32_t value);
// 1234567 -> "1,234,567"
std::string grouped(std::int64_t value);

// The check of a set, line by line.
// "NAME：1,457,664 バイト"
std::string checkedPiece(const std::string& name, std::int64_t length);
// The missing pieces between the set and `beyond` pieces found after them.
std::string checkGap(const std::vector<std::string>& missing, std::size_t moreMissing, std::size_t beyond);
std::string checkOddLength(const std::string& piece);
// "分割ファイル 3 個，合計 2,932,992 バイト，CRC-32 1A2B3C4D"
std::string checkTotal(std::size_t pieces, std::int64_t total, std::uint32_t crc);
std::string checkRecord(const std::string& record, std::int64_t size, std::uint32_t crc);
std::string checkNoRecord(const std::string& record);
std::string checkRecordUnreadable(const std::string& record);
std::string checkSizeMismatch(std::int64_t pieces, std::int64_t recorded);
std::string checkCrcMismatch(std::uint32_t pieces, std::uint32_t recorded);
inline const std::string kCheckWholeVerified = "分割ファイルは揃っていて，記録と合っています．";
inline const std::string kCheckWholeUnverified = "分割ファイルは揃っています（記録がないので中身は確かめていません）．";
inline const std::string kCheckNotWhole = "分割ファイルは揃っていません．";

}  // namespace vexo::text
