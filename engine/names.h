// Analysis of a chosen file name and the names of piece files. Names are
// bytes: nothing here assumes they are UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexo {

struct NameAnalysis {
  std::string base;       // up to and including the last "."; name + "." without one
  std::string extension;  // after the last "." (possibly empty)
  int pieceNumber = 0;    // value of the extension when it is all decimal digits, else 0;
                          // 0 also when it does not fit 16 bits
  int width = 1;          // digits of a zero-padded number (".001" and ".00" give 3 and 2), else 1
  // A piece is numbered 1 to 999, or is the zero-padded piece 0 (".00",
  // ".000") that sets numbered from 0 begin with.
  bool isPiece() const { return (pieceNumber >= 1 && pieceNumber <= 999) || (pieceNumber == 0 && width >= 2); }
};

NameAnalysis analyseName(const std::string& chosen);

// Whether two names name the same entry: byte for byte, or with ASCII letter
// case ignored where the file system ignores it.
bool sameName(const std::string& a, const std::string& b, bool ignoreCase);
// Whether name begins with prefix, compared as sameName compares.
bool startsWithName(const std::string& name, const std::string& prefix, bool ignoreCase);

// k in decimal, padded with zeros to at least width digits (999, 1000 at 3).
std::string pieceNumberText(std::int64_t k, int width);

// The number of a name that is base + k written as pieceNumberText(k, width)
// writes it (0 included: width zeros), else nothing. Numbers of more than
// 18 significant digits belong to no set.
std::optional<std::int64_t> numberIn(const std::string& name, const std::string& base, int width,
                                     bool ignoreCase = false);

// The value of a name's piece number when it is base + k (k from 1) written
// as pieceNumberText(k, width) would write it, else 0.
std::int64_t pieceNumberOf(const std::string& name, const std::string& base, int width, bool ignoreCase = false);

// The names among `names` that numberIn() reads with base and width, by
// number, each as the directory spells it.
std::map<std::int64_t, std::string> numberedNames(const std::vector<std::string>& names, const std::string& base,
                                                  int width, bool ignoreCase = false);

// The last number of the unbroken run that starts at `from` (from - 1 when
// `from` itself is missing). Takes as many steps as the run has names.
std::int64_t runEnd(const std::map<std::int64_t, std::string>& numbered, std::int64_t from);

// A number more than this past a set's last piece (and past twice its
// last number) is another file's (a date, say), not a piece lost from the set.
inline constexpr std::int64_t kFarPast = 1000;

// How a join and the check of a set find the set among a folder's names.
//
// The numbering's width: a number of several digits without a leading zero
// (report.doc.123, chosenDigits 3) may belong to a zero-padded set, whose
// first piece is then padded to that width.
int setWidth(const std::vector<std::string>& names, const std::string& base, int width, int chosenDigits,
             bool ignoreCase);
// Every piece but the last as long as the first, the last no longer: the
// index of the first length that does not fit, or lengths.size().
std::size_t firstOddLength(const std::vector<std::int64_t>& lengths);
// Piece 0 beside pieces from 1 (lengths from piece 0 on): a set numbered
// from 0, or an unrelated file before a set numbered from 1. The record's
// size tells; without one, the set from 0 must have fitting lengths.
enum class SetStart { Zero, One, Unknown };
SetStart setStart(const std::vector<std::int64_t>& lengthsFromZero, std::optional<std::int64_t> recordSize);
// Numbers missing between a set's last piece and the pieces beyond it that
// are near enough to be its own (a number far past the set, such as a date,
// is another file's): the first few of them, how many in all, and the
// pieces beyond.
struct SetGap {
  std::vector<std::int64_t> named;
  std::int64_t count = 0;
  std::vector<std::string> beyond;
};
SetGap gapAfter(const std::map<std::int64_t, std::string>& numbered, std::int64_t last, std::size_t namedAtMost);

// Name of piece k of a split: long naming appends "." + k to the whole name,
// short naming replaces the extension by k; k padded to width digits.
std::string splitPieceName(const std::string& chosen, const NameAnalysis& a, std::int64_t k,
                           bool shortNaming, int width = 1);

// What a split's piece names start with: the name + "." (long naming) or
// the base name (short naming).
std::string splitPieceBase(const std::string& chosen, const NameAnalysis& a, bool shortNaming);

// The set's record, beside its pieces: their base + "crc".
std::string recordName(const std::string& pieceBase);

// The file a join writes: base + extension, or the base without its final
// "." when the extension is empty.
std::string joinedFileName(const std::string& base, const std::string& extension);

// Name of piece k of a join, from the chosen piece's base (ending in "."):
// the joined name + "." + k when the extension is empty, base + k otherwise.
// Both come to base + k, with k padded to the chosen piece's width.
std::string joinPieceName(const std::string& base, const std::string& extension, std::int64_t k,
                          int width = 1);

// Whether the bytes are well-formed UTF-8.
bool isUtf8(const std::string& bytes);

}  // namespace vexo
