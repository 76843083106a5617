// Analysis of a chosen file name and the names of piece files.
#pragma once

#include <cstdint>
#include <string>

namespace vexo {

struct NameAnalysis {
  std::string base;       // up to and including the last "."; name + "." without one
  std::string extension;  // after the last "." (possibly empty)
  int pieceNumber = 0;    // value of the extension when it is all decimal digits, else 0;
                          // 0 also when it does not fit 16 bits
  int width = 1;          // digits of a zero-padded number (".001" gives 3), else 1
  bool isPiece() const { return pieceNumber >= 1 && pieceNumber <= 999; }
};

NameAnalysis analyseName(const std::string& chosen);

// k in decimal, padded with zeros to at least width digits (999, 1000 at 3).
std::string pieceNumberText(std::int64_t k, int width);

// The value of a name's piece number when it is base + k written as
// pieceNumberText(k, width) would write it, else 0.
std::int64_t pieceNumberOf(const std::string& name, const std::string& base, int width);

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

}  // namespace vexo
