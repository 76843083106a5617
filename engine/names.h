// Analysis of a chosen file name and the names of piece files.
#pragma once

#include <cstdint>
#include <string>

namespace vexo {

struct NameAnalysis {
  std::string base;       // up to and including the last "."; name + "." without one
  std::string extension;  // after the last "." (possibly empty)
  int pieceNumber = 0;    // value of the extension's leading decimal digits, 0 if none
                          // or if it does not fit 16 bits
  bool isPiece() const { return pieceNumber >= 1 && pieceNumber <= 999; }
};

NameAnalysis analyseName(const std::string& chosen);

// Name of piece k of a split: long naming appends "." + k to the whole name,
// short naming replaces the extension by k.
std::string splitPieceName(const std::string& chosen, const NameAnalysis& a,
                           std::int64_t k, bool shortNaming);

// The file a join writes: base + extension, or the base without its final
// "." when the extension is empty.
std::string joinedFileName(const std::string& base, const std::string& extension);

// Name of piece k of a join, from the chosen piece's base (ending in "."):
// the joined name + "." + k when the extension is empty, base + k otherwise.
// Both come to base + k.
std::string joinPieceName(const std::string& base, const std::string& extension,
                          std::int64_t k);

}  // namespace vexo
