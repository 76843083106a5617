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
  EXPECT_EQ(analyseName("photo.3gp").pieceNumber, 3);
  EXPECT_TRUE(analyseName("photo.3gp").isPiece());
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
