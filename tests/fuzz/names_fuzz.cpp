// Fuzz target for the analysis of chosen names and the naming of pieces.
// Any bytes must be handled without a crash, and the names the program
// makes must read back as what they were made from: a piece name gives the
// base name and the number it was made with, so that choosing any piece of
// a set joins that same set.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "names.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// The piece number a name's extension stands for, worked out the plain way:
// the extension read as a decimal number when it is nothing but digits, 0
// otherwise or beyond the 16-bit range.
int expectedNumber(const std::string& extension) {
  std::int64_t value = 0;
  for (char c : extension) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 32767) return 0;
  }
  return static_cast<int>(value);
}

int numberOf(std::int64_t k) { return k <= 32767 ? static_cast<int>(k) : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::int64_t k = in.ConsumeIntegralInRange<std::int64_t>(1, 100000);
  const bool shortNaming = in.ConsumeBool();
  const std::string typed = in.ConsumeRandomLengthString(24);  // an extension from the dialog
  const std::string name = in.ConsumeRemainingBytesAsString();

  using namespace vexo;
  const NameAnalysis a = analyseName(name);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) {
    check(a.base == name + "." && a.extension.empty(), "a name without a dot");
  } else {
    check(a.base + a.extension == name, "base and extension make the name");
    check(a.extension.find('.') == std::string::npos, "the extension follows the last dot");
  }
  check(!a.base.empty() && a.base.back() == '.', "the base ends with its dot");
  check(a.pieceNumber == expectedNumber(a.extension), "the piece number");
  check(a.isPiece() == ((a.pieceNumber >= 1 && a.pieceNumber <= 999) || (a.pieceNumber == 0 && a.width >= 2)),
        "a piece is numbered 1 to 999, or is a padded 0");

  // The pieces of a split read back as that split's base and number.
  const std::string piece = splitPieceName(name, a, k, shortNaming);
  const NameAnalysis p = analyseName(piece);
  check(p.base == (shortNaming ? a.base : name + "."), "a split piece's base");
  check(p.extension == std::to_string(k), "a split piece's extension");
  check(p.pieceNumber == numberOf(k), "a split piece's number");
  // Under long naming the join of them gives the name back.
  if (!shortNaming) check(joinedFileName(p.base, "") == name, "the joined name under long naming");
  // Under short naming it does when the same extension is entered.
  else if (!a.extension.empty()) check(joinedFileName(p.base, a.extension) == name, "the joined name");

  // A join from a chosen piece: every piece name it makes reads back as the
  // same base and its own number, so each would start the same join.
  if (a.isPiece()) {
    for (const std::string& extension : {std::string(), typed}) {
      const std::string joined = joinedFileName(a.base, extension);
      if (extension.empty()) check(joined + "." == a.base, "the joined name without an extension");
      else check(joined == a.base + extension, "the joined name with an extension");
      for (const std::int64_t n : {std::int64_t{1}, std::int64_t{a.pieceNumber}, k}) {
        const std::string piece = joinPieceName(a.base, extension, n, a.width);
        const NameAnalysis q = analyseName(piece);
        check(q.base == a.base, "a join piece's base");
        check(q.pieceNumber == numberOf(n), "a join piece's number");
        check(pieceNumberOf(piece, a.base, a.width) == n, "a join piece reads back as its number");
      }
      check(joinPieceName(a.base, extension, a.pieceNumber, a.width) == name, "the chosen piece is its own name");
    }
  }
  return 0;
}
