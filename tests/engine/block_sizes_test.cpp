// Pieces of any size: the block plan of piece 1 for sizes from one byte to
// past 4 GiB (normal blocks of 30,000 bytes, then the rest of the size as
// one final block), and sets numbered with three digits.
#include <gtest/gtest.h>

#include "doubles.h"
#include "engine.h"
#include "messages.h"

using namespace vexo;
using namespace vexo::test;

namespace {

// The calls that write piece 1 of a split of a virtual source, from its
// creation to its close.
std::vector<std::string> pieceOneCalls(const std::vector<std::string>& log) {
  auto first = std::find(log.begin(), log.end(), "temp ~@src.1 #3");
  auto last = std::find(first, log.end(), "stamp ~@src.1");
  if (first == log.end() || last == log.end()) return {};
  return std::vector<std::string>(first + 1, last);
}

}  // namespace

TEST(BlockSizes, PieceOneIsNormalBlocksAndTheRestOfTheSize) {
  const std::int64_t sizes[] = {1,          29999,       30000,       30001,      60001,     kPieceSize144,
                                kPieceSize12, 10000000,  25000000,    100000000,  650000000, 700000000,
                                4294967295LL, 4700000000LL};
  for (const std::int64_t size : sizes) {
    SCOPED_TRACE(size);
    TempDir dir;
    RecordingFileServices fs;
    fs.addVirtual("@src", size + 1);  // piece 2 is one byte
    RecordingUi ui;
    ui.size = size;
    proc1(fs, ui, "@src");
    ASSERT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    std::vector<std::string> expected;
    for (std::int64_t i = 0; i < size / 30000; ++i) {
      expected.push_back("read #1 30000");
      expected.push_back("write #3 30000");
    }
    if (size % 30000 != 0) {
      expected.push_back("read #1 " + std::to_string(size % 30000));
      expected.push_back("write #3 " + std::to_string(size % 30000));
    }
    EXPECT_TRUE(pieceOneCalls(fs.log) == expected) << "piece 1 has " << pieceOneCalls(fs.log).size() << " calls";
    EXPECT_EQ(fs.virtualLength("@src.1"), size);
    EXPECT_EQ(fs.virtualLength("@src.2"), 1);
    EXPECT_FALSE(fs.virtualExists("@src.3"));  // 2 bytes of 1: two pieces, no empty third
  }
}

TEST(BlockSizes, AFileNotLongerThanTheSizeIsNotSplit) {
  for (const std::int64_t size : {std::int64_t{1}, std::int64_t{30001}, std::int64_t{4700000000LL}}) {
    TempDir dir;
    RecordingFileServices fs;
    fs.addVirtual("@small", size);
    RecordingUi ui;
    ui.size = size;
    proc1(fs, ui, "@small");
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::kNotLarger}) << size;
    EXPECT_EQ(fs.virtualCount(), 1u);
  }
}

TEST(BlockSizes, RoundTripsAtOtherSizes) {
  const struct {
    std::int64_t size;
    std::size_t length;
    int digits;
    bool shortNaming;
    const char* last;    // the last piece's name
    const char* chosen;  // the piece chosen to join
  } cases[] = {
      {1, 5, 1, false, "r.bin.5", "r.bin.5"},  // five pieces of a byte, no empty sixth
      {30001, 90004, 3, false, "r.bin.004", "r.bin.002"},
      {100000, 250000, 3, true, "r.003", "r.003"},
      {7, 7000, 3, false, "r.bin.1000", "r.bin.999"},  // .1000 itself would be split
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last);
    TempDir dir;
    const std::string original = pattern(c.length, static_cast<unsigned>(c.size));
    writeFile("r.bin", original);
    RecordingFileServices fs;
    fs.recordBlocks = false;
    RecordingUi ui;
    ui.size = c.size;
    ui.digits = c.digits;
    ui.check = c.shortNaming ? 1 : 0;
    ui.extension = "bin";
    proc1(fs, ui, "r.bin");
    ASSERT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    EXPECT_TRUE(exists(c.last));
    EXPECT_TRUE(exists(c.shortNaming ? "r.crc" : "r.bin.crc"));
    std::filesystem::rename("r.bin", "original");
    ui.events.clear();
    proc1(fs, ui, c.chosen);
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"結合完了"});
    EXPECT_EQ(readFile("r.bin"), original);
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"original", "r.bin"}));
  }
}

TEST(BlockSizes, ThreeDigitNumbersGoOnPast999) {
  TempDir dir;
  RecordingFileServices fs;
  fs.recordBlocks = false;
  fs.addVirtual("@v", 1000);
  RecordingUi ui;
  ui.size = 1;
  ui.digits = 3;
  proc1(fs, ui, "@v");
  ASSERT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  for (const char* name : {"@v.001", "@v.010", "@v.999", "@v.1000", "@v.crc"})
    EXPECT_TRUE(fs.virtualExists(name)) << name;
  for (const char* name : {"@v.1", "@v.0001", "@v.1001"}) EXPECT_FALSE(fs.virtualExists(name)) << name;
  fs.kill("@v");
  ui.answer = kAnswerYes;
  proc1(fs, ui, "@v.500");
  EXPECT_EQ(fs.virtualLength("@v"), 1000);
  EXPECT_EQ(fs.virtualCount(), 1u);  // the pieces and the record deleted
}
