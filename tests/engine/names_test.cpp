#include <gtest/gtest.h>

#include "names.h"

using vexo::analyseName;

TEST(NameAnalysis, SplitsAtTheLastDot) {
  auto a = analyseName("archive.lzh");
  EXPECT_EQ(a.base, "archive.");
  EXPECT_EQ(a.extension, "lzh");
  EXPECT_EQ(a.pieceNumber, 0);
  EXPECT_FALSE(a.isPiece());

  a = analyseName("archive.lzh.3");
  EXPECT_EQ(a.base, "archive.lzh.");
  EXPECT_EQ(a.extension, "3");
  EXPECT_TRUE(a.isPiece());

  a = analyseName("a.b.c.7");
  EXPECT_EQ(a.base, "a.b.c.");
  EXPECT_EQ(a.extension, "7");
  EXPECT_EQ(a.pieceNumber, 7);
}

TEST(NameAnalysis, NoDotAndEmptyExtension) {
  auto a = analyseName("README");
  EXPECT_EQ(a.base, "README.");
  EXPECT_EQ(a.extension, "");
  EXPECT_FALSE(a.isPiece());

  a = analyseName("notes.");
  EXPECT_EQ(a.base, "notes.");
  EXPECT_EQ(a.extension, "");
  EXPECT_FALSE(a.isPiece());
}

TEST(NameAnalysis, PieceNumberRange) {
  EXPECT_TRUE(analyseName("data.999").isPiece());
  EXPECT_TRUE(analyseName("data.1").isPiece());
  EXPECT_FALSE(analyseName("data.0").isPiece());
  EXPECT_FALSE(analyseName("data.1000").isPiece());
  EXPECT_EQ(analyseName("data.1000").pieceNumber, 1000);
  EXPECT_EQ(analyseName("x.007").pieceNumber, 7);
  // Beyond 16 bits: an ordinary file.
  EXPECT_EQ(analyseName("file.40000").pieceNumber, 0);
  EXPECT_EQ(analyseName("file.32767").pieceNumber, 32767);
  EXPECT_EQ(analyseName("file.99999999999999999999").pieceNumber, 0);
  EXPECT_EQ(analyseName("file.-3").pieceNumber, 0);
  EXPECT_EQ(analyseName("file. 3").pieceNumber, 0);
}

TEST(PieceNames, LongAndShortNaming) {
  auto a = analyseName("report.doc");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 1, false), "report.doc.1");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 12, false), "report.doc.12");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 1, true), "report.1");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 305, true), "report.305");
  a = analyseName("README");
  EXPECT_EQ(vexo::splitPieceName("README", a, 2, false), "README.2");
  EXPECT_EQ(vexo::splitPieceName("README", a, 2, true), "README.2");
  a = analyseName("notes.");
  EXPECT_EQ(vexo::splitPieceName("notes.", a, 1, false), "notes..1");
  EXPECT_EQ(vexo::splitPieceName("notes.", a, 1, true), "notes.1");
  a = analyseName("big.bin");
  EXPECT_EQ(vexo::splitPieceName("big.bin", a, 40000, false), "big.bin.40000");
}

TEST(PieceNames, JoinNaming) {
  // Long naming: the joined file drops the final dot; pieces keep their names.
  EXPECT_EQ(vexo::joinedFileName("report.doc.", ""), "report.doc");
  EXPECT_EQ(vexo::joinPieceName("report.doc.", "", 3), "report.doc.3");
  // Short naming with an extension entered.
  EXPECT_EQ(vexo::joinedFileName("report.", "doc"), "report.doc");
  EXPECT_EQ(vexo::joinPieceName("report.", "doc", 1), "report.1");
  // Short naming, extension left empty.
  EXPECT_EQ(vexo::joinedFileName("report.", ""), "report");
  EXPECT_EQ(vexo::joinPieceName("report.", "", 2), "report.2");
  // Long-named pieces joined while short naming is selected.
  EXPECT_EQ(vexo::joinedFileName("report.doc.", "txt"), "report.doc.txt");
  EXPECT_EQ(vexo::joinPieceName("report.doc.", "txt", 1), "report.doc.1");
}

// Only an extension of digits alone is a number; one that begins with 0
// gives the width of a zero-padded set.
TEST(NameAnalysis, WholeExtensionDigitsAndWidth) {
  const struct {
    const char* name;
    int number;
    int width;
  } cases[] = {
      {"clip.3gp", 0, 1},       {"archive.7z", 0, 1},     {"x.1a", 0, 1},         {"x.12", 12, 1},
      {"movie.avi.001", 1, 3},  {"movie.avi.010", 10, 3}, {"m.0001", 1, 4},       {"m.999", 999, 1},
      {"m.0999", 999, 4},       {"m.000", 0, 3},          {"m.00", 0, 2},         {"m.0", 0, 1},
      {"m.", 0, 1},             {"m.0x", 0, 1},
      {"m.1000", 1000, 1},      {"m.00040000", 0, 1},
  };
  for (const auto& c : cases) {
    const auto a = vexo::analyseName(c.name);
    EXPECT_EQ(a.pieceNumber, c.number) << c.name;
    EXPECT_EQ(a.width, c.width) << c.name;
  }
  EXPECT_FALSE(vexo::analyseName("clip.3gp").isPiece());
  EXPECT_TRUE(vexo::analyseName("movie.avi.001").isPiece());
  // Piece 0 of a set numbered from 0 is a piece when it is padded.
  EXPECT_TRUE(vexo::analyseName("f.00").isPiece());
  EXPECT_TRUE(vexo::analyseName("f.000").isPiece());
  EXPECT_FALSE(vexo::analyseName("f.0").isPiece());
}

TEST(PieceNames, ZeroPaddedNumbersAndTheRecord) {
  EXPECT_EQ(vexo::joinPieceName("movie.avi.", "", 1, 3), "movie.avi.001");
  EXPECT_EQ(vexo::joinPieceName("movie.avi.", "", 999, 3), "movie.avi.999");
  EXPECT_EQ(vexo::joinPieceName("movie.avi.", "", 1000, 3), "movie.avi.1000");
  EXPECT_EQ(vexo::joinPieceName("m.", "", 12, 4), "m.0012");
  auto a = analyseName("report.doc");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 7, false, 3), "report.doc.007");
  EXPECT_EQ(vexo::splitPieceName("report.doc", a, 1000, true, 3), "report.1000");
  EXPECT_EQ(vexo::recordName(vexo::splitPieceBase("report.doc", a, false)), "report.doc.crc");
  EXPECT_EQ(vexo::recordName(vexo::splitPieceBase("report.doc", a, true)), "report.crc");
  // A name is a piece of a set only when written as that set writes it.
  const struct {
    const char* name;
    int width;
    std::int64_t k;
  } of[] = {{"m.7", 1, 7},     {"m.07", 1, 0}, {"m.007", 3, 7}, {"m.07", 3, 0}, {"m.1000", 3, 1000},
            {"m.0000", 3, 0}, {"m.x", 1, 0},  {"m.", 1, 0},    {"n.7", 1, 0},  {"m.7z", 1, 0},
            // Padded wider than 18 digits, and numbers too large for any set.
            {"m.0000000000000000000000012", 25, 12}, {"m.99999999999999999999", 1, 0},
            // Piece 0 is no piece numbered from 1.
            {"m.0", 1, 0}, {"m.000", 3, 0}};
  for (const auto& c : of) EXPECT_EQ(vexo::pieceNumberOf(c.name, "m.", c.width), c.k) << c.name << " " << c.width;
}
