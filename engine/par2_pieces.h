// Recovery data for a set of pieces: the split writes a PAR2 set over its
// pieces; the join, the check and the repair of the command line find the
// set beside the pieces, tell what it can rebuild, and rebuild it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "file_services.h"
#include "par2.h"
#include "record.h"
#include "user_interface.h"

namespace vexo {

// The name a split's recovery set is written under: the pieces' common
// part ("report.doc." -> "report.doc").
std::string recoveryBase(const std::string& pieceBase);

// Watches long work for a request: progress and stop through ui.
par2::Watch watchFor(UserInterface& ui);

// The recovery set beside a set of pieces, checked against them.
struct PieceRecovery {
  par2::RecoverySet set;
  par2::Verification v;
  // The set's files in piece order: index into set.files, and the number.
  std::vector<std::pair<std::size_t, std::int64_t>> pieces;
  std::vector<std::string> missing, damaged;  // pieces, in order
  par2::Depth depth = par2::Depth::Crc;      // how closely the pieces were checked
  // The files the set was read from: they go when the pieces go.
  std::vector<std::string> setFiles() const { return set.paths; }
  // The set's blocks that its files lack (0: complete).
  std::int64_t damagedBlocks() const { return v.damagedBlocks; }
  bool repairable() const { return v.repairable(); }
};

// Looks in the current directory for a PAR2 set all of whose files are
// pieces 1 to n (pieceNumber(name); names it does not know give 0): the
// files ending in ".par2" whose names begin like the pieces'. Checks the
// pieces against it as closely as `depth` says (reading them; progress and
// stop through ui). Nothing when there is no such set.
std::optional<PieceRecovery> findRecovery(FileServices& fs, int f, UserInterface& ui,
                                          const std::string& pieceBase,
                                          const std::function<std::int64_t(const std::string&)>& pieceNumber,
                                          par2::Depth depth = par2::Depth::Crc);

// Rebuilds the set's missing pieces, and its damaged ones when
// replaceDamaged, each written whole as a temporary without a name, stamped
// like the pieces there and then named. Returns the pieces rebuilt. Throws
// par2::RepairFailed when the blocks cannot be rebuilt.
std::vector<std::string> rebuildPieces(FileServices& fs, int f, UserInterface& ui, const PieceRecovery& rec,
                                       bool replaceDamaged);

// The lines that tell what the set found: damaged and missing pieces,
// blocks to rebuild and recovery blocks there.
std::vector<std::string> recoveryReport(const PieceRecovery& r);

// What a join that goes through the recovery set needs of the join.
struct RecoveryJoin {
  std::string joined;                // the joined file's name
  std::string recordName;            // the set's record, when there is one
  std::optional<SetRecord> record;
  std::vector<std::string> pieces;   // the pieces the join found
  std::string folder;                // where the joined file goes, as the summary names it
};

// Joins the pieces through the recovery set: says what is damaged or
// missing and asks whether to repair (or says how many blocks are lacking,
// writing nothing); writes the pieces' bytes (read in fs), rebuilt where
// needed, into the joined file in dest (a temporary without a name, file
// f, until it is whole and checked against the record), names it and
// offers to delete the pieces with the record and the recovery set. The
// pieces themselves are only read. False (nothing done) when the set finds
// nothing to rebuild. When only the pieces' lengths were checked and the
// result does not match the record, the pieces are checked block by block
// and the user asked again.
bool joinWithRecovery(FileServices& fs, FileServices& dest, UserInterface& ui, int f, const PieceRecovery& rec,
                      const RecoveryJoin& j);

namespace text {
inline const std::string kRecovering = "復元データ作成中 ";
inline const std::string kRepairing = "修復中 ";
inline const std::string kRepairQuestion = "復元データで修復して結合しますか？";
inline const std::string kRepairDone = "修復完了";
inline const std::string kRepairFailed = "復元データから壊れたブロックを作り直せませんでした．";
inline const std::string kNoRecoverySet = "分割ファイルの復元データ（.par2）が見つかりません．";
inline const std::string kNothingToRepair = "分割ファイルは復元データと合っています．修復の必要はありません．";
std::string recoveryTooMany(std::size_t pieces);
// The status line while the damaged blocks from..to (1-based) of the
// blocks to rebuild are made: "修復中 NAME (ブロック FROM-TO/BLOCKS)".
std::string repairingStatus(const std::string& name, std::int64_t from, std::int64_t to, std::int64_t blocks);
// "復元データが足りないので修復できません（あと N ブロック必要です）．"
std::string recoveryShort(std::int64_t needed);
}  // namespace text

}  // namespace vexo
