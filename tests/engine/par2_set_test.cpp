// Recovery sets over the pieces of a split: what we write passes the PAR2
// tools people have, and damage is found and undone, in our sets and in
// theirs.
#include <gtest/gtest.h>

#include <filesystem>

#include "block_copy.h"
#include "doubles.h"
#include "par2.h"
#include "par2_test_support.h"

using namespace vexo;
using namespace vexo::par2;
using namespace vexo::test;

namespace {

// Pieces base.1 .. base.n (or .001 with width 3) with the given lengths.
std::vector<Input> makePieces(const std::string& base, const std::vector<std::int64_t>& lengths, int width = 1) {
  std::vector<Input> inputs;
  for (std::size_t k = 0; k < lengths.size(); ++k) {
    std::string number = std::to_string(k + 1);
    number.insert(0, static_cast<std::size_t>(std::max(0, width - static_cast<int>(number.size()))), '0');
    const std::string name = base + "." + number;
    writeFile(name, pattern(static_cast<std::size_t>(lengths[k]), static_cast<unsigned>(k + 3)));
    inputs.push_back({name, name});
  }
  return inputs;
}

struct Found {
  RecoverySet set;
  Verification v;
};

Found checkHere(FileServices& fs) {
  auto sets = readSets(fs, 1, setFilesHere());
  EXPECT_EQ(sets.size(), 1u);
  if (sets.empty()) return {};
  Found found{sets[0], {}};
  EXPECT_TRUE(found.set.usable());
  found.v = verify(fs, 1, found.set, "");
  return found;
}

// Our repair of every file that is not complete, in the order of their
// names (not the set's): their rebuilt bytes; the passes of rebuilding
// counted.
std::map<std::string, std::string> repairHere(FileServices& fs, Found& found, std::int64_t memory = kRepairMemory,
                                              int* passes = nullptr) {
  std::map<std::string, std::string> rebuilt;
  Repair repair(fs, 1, found.set, found.v, "", {}, memory);
  repair.onPass = [&](std::int64_t, std::int64_t) {
    if (passes) ++*passes;
  };
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < found.set.files.size(); ++i)
    if (found.v.files[i].status != FileStatus::Complete) order.push_back(i);
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return found.set.files[a].name < found.set.files[b].name; });
  repair.streamOrder(order);
  for (const std::size_t i : order) {
    std::string bytes;
    repair.stream(i, [&](const char* p, std::size_t n) { bytes.append(p, n); });
    rebuilt[found.set.files[i].name] = bytes;
  }
  return rebuilt;
}

}  // namespace

TEST(Par2Set, ShapesOfSetsPassPar2Verify) {
  const struct {
    const char* what;
    std::vector<std::int64_t> lengths;
    int percent;
    std::int64_t blocks;    // input blocks expected
    std::int64_t recovery;  // recovery blocks expected
    std::vector<std::string> names;
  } cases[] = {
      {"one piece", {100000}, 10, 1924, 193,
       {"s.par2", "s.vol000+01.par2", "s.vol001+02.par2", "s.vol003+04.par2", "s.vol007+08.par2", "s.vol015+16.par2",
        "s.vol031+32.par2", "s.vol063+64.par2", "s.vol127+66.par2"}},
      {"many pieces", {20000, 20000, 20000, 20000, 20000, 7777}, 5, 5 * 313 + 122, 85, {}},
      {"short last piece", {30000, 30000, 1}, 1, 2 * 625 + 1, 13, {}},
      {"exact multiple with an empty last piece", {40000, 40000, 40000, 0}, 3, 3 * 667, 61, {}},
      {"tiny", {3}, 100, 1, 1, {"s.par2", "s.vol00+01.par2"}},
      {"more pieces than blocks wanted", std::vector<std::int64_t>(2100, 8), 1, 2100, 21, {}},
  };
  const bool tool = havePar2();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    RecordingFileServices fs;
    const auto inputs = makePieces("s", c.lengths);
    const Layout layout = create(fs, 1, inputs, "s", c.percent, 0644);
    EXPECT_EQ(layout.blockSize % 4, 0);
    EXPECT_EQ(layout.inputBlocks, c.blocks);
    EXPECT_EQ(layout.recoveryBlocks, c.recovery);
    auto names = setFilesHere();
    std::sort(names.begin(), names.end());
    auto expected = layout.names();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    if (!c.names.empty()) {
      auto want = c.names;
      std::sort(want.begin(), want.end());
      EXPECT_EQ(names, want);
    }
    // Nothing but the pieces and the set.
    EXPECT_EQ(filesHere().size(), inputs.size() + names.size());
    EXPECT_EQ(fs.openFiles(), 0);
    // We read back what we wrote: complete, every recovery block there.
    const Found found = checkHere(fs);
    EXPECT_TRUE(found.v.complete());
    EXPECT_EQ(found.v.recoveryBlocks, c.recovery);
    // Empty pieces are left out, as par2 leaves them out.
    ASSERT_EQ(found.set.files.size(),
              static_cast<std::size_t>(std::count_if(c.lengths.begin(), c.lengths.end(), [](auto n) { return n > 0; })));
    if (tool) {
      EXPECT_EQ(runPar2("verify -q s.par2"), 0);
    }
  }
  if (!tool) GTEST_SKIP() << "par2 is not installed: our sets were not checked by it";
}

// Damage our repair and par2's both undo, and damage beyond the recovery
// data that neither can.
TEST(Par2Set, DamageRepairedByUsAndByPar2) {
  const std::vector<std::int64_t> lengths{50000, 50000, 50000, 50000, 50000, 50000, 12345};
  const struct {
    const char* what;
    std::function<void()> damage;
    std::int64_t damaged;  // blocks
    std::vector<FileStatus> statuses;
  } cases[] = {
      {"one piece missing", [] { std::filesystem::remove("p.3"); }, 25,
       {FileStatus::Complete, FileStatus::Complete, FileStatus::Missing, FileStatus::Complete,
        FileStatus::Complete, FileStatus::Complete, FileStatus::Complete}},
      {"a corrupted block in two pieces",
       [] {
         flipByte("p.2", 100);
         flipByte("p.7", 12344);
       },
       2,
       {FileStatus::Complete, FileStatus::Damaged, FileStatus::Complete, FileStatus::Complete,
        FileStatus::Complete, FileStatus::Complete, FileStatus::Damaged}},
      {"a corrupted block in five pieces",
       [] {
         for (const char* name : {"p.1", "p.3", "p.4", "p.5", "p.7"}) flipByte(name, 3000);
       },
       5,
       {FileStatus::Damaged, FileStatus::Complete, FileStatus::Damaged, FileStatus::Damaged,
        FileStatus::Damaged, FileStatus::Complete, FileStatus::Damaged}},
      // The first recovery block is not used: its packet's checksum fails.
      {"one piece missing and a recovery block damaged",
       [] {
         std::filesystem::remove("p.6");
         flipByte("p.vol00+01.par2", 64 + 4 + 10);
       },
       25,
       {FileStatus::Complete, FileStatus::Complete, FileStatus::Complete, FileStatus::Complete,
        FileStatus::Complete, FileStatus::Missing, FileStatus::Complete}},
      {"a piece cut short", [] { std::filesystem::resize_file("p.5", 1000); }, 25,
       {FileStatus::Complete, FileStatus::Complete, FileStatus::Complete, FileStatus::Complete,
        FileStatus::Damaged, FileStatus::Complete, FileStatus::Complete}},
      {"a piece too long", [] { std::filesystem::resize_file("p.1", 50001); }, 0,
       {FileStatus::Damaged, FileStatus::Complete, FileStatus::Complete, FileStatus::Complete,
        FileStatus::Complete, FileStatus::Complete, FileStatus::Complete}},
      {"more damage than recovery data",
       [] {
         std::filesystem::remove("p.1");
         std::filesystem::remove("p.4");
       },
       50,
       {FileStatus::Missing, FileStatus::Complete, FileStatus::Complete, FileStatus::Missing,
        FileStatus::Complete, FileStatus::Complete, FileStatus::Complete}},
  };
  const bool tool = havePar2();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    RecordingFileServices fs;
    const auto inputs = makePieces("p", lengths);
    std::map<std::string, std::string> original;
    for (const auto& in : inputs) original[in.name] = readFile(in.name);
    // Blocks of 2 KiB: few enough for par2 to repair quickly.
    const Layout layout = create(fs, 1, inputs, "p", 20, 0644, {}, 2048);
    ASSERT_EQ(layout.inputBlocks, 6 * 25 + 7);
    ASSERT_EQ(layout.recoveryBlocks, 32);
    c.damage();

    Found found = checkHere(fs);
    EXPECT_EQ(found.v.damagedBlocks, c.damaged);
    EXPECT_EQ(found.v.recoveryBlocks, 32);
    // The set lists its files in its own order.
    std::map<std::string, FileStatus> byName;
    for (std::size_t i = 0; i < found.set.files.size(); ++i) byName[found.set.files[i].name] = found.v.files[i].status;
    std::vector<FileStatus> statuses;
    for (const auto& in : inputs) statuses.push_back(byName[in.name]);
    EXPECT_EQ(statuses, c.statuses);
    const bool repairable = c.damaged <= 32;
    EXPECT_EQ(found.v.repairable(), repairable);
    EXPECT_EQ(found.v.shortfall(), repairable ? 0 : c.damaged - 32);
    if (repairable) {
      // At once, and four blocks at a time in memory for the blocks of two:
      // each pass makes the blocks wanted next.
      for (const std::int64_t memory : {kRepairMemory, std::int64_t{2 * 4 * 2048}}) {
        int passes = 0;
        const auto rebuilt = repairHere(fs, found, memory, &passes);
        EXPECT_EQ(passes, c.damaged == 0 ? 0 : memory == kRepairMemory ? 1 : (c.damaged + 3) / 4);
        std::size_t notComplete = 0;
        for (const auto s : c.statuses) notComplete += s != FileStatus::Complete;
        EXPECT_EQ(rebuilt.size(), notComplete);
        for (const auto& [name, bytes] : rebuilt) EXPECT_TRUE(bytes == original[name]) << name;
      }
    } else {
      EXPECT_THROW(Repair(fs, 1, found.set, found.v, ""), RepairFailed);
    }
    // The piece files are left as they are by our repair.
    EXPECT_EQ(fs.openFiles(), 0);
    if (!tool) continue;
    EXPECT_EQ(runPar2("repair -q p.par2") == 0, repairable);
    if (repairable) {
      for (const auto& [name, bytes] : original) EXPECT_TRUE(readFile(name) == bytes) << name;
    }
  }
  if (!tool) GTEST_SKIP() << "par2 is not installed: its repair was not tried";
}

// A set par2 made over a .001 set: read, checked and repaired by us.
TEST(Par2Set, Par2MadeSetRepairedByUs) {
  if (!havePar2()) GTEST_SKIP() << "par2 is not installed";
  TempDir dir;
  RecordingFileServices fs;
  const auto inputs = makePieces("data.bin", {70000, 70000, 70000, 9999}, 3);
  std::map<std::string, std::string> original;
  for (const auto& in : inputs) original[in.name] = readFile(in.name);
  ASSERT_EQ(runPar2("create -q -r40 -b400 data.bin.par2 data.bin.001 data.bin.002 data.bin.003 data.bin.004"), 0);
  {
    const Found found = checkHere(fs);
    EXPECT_TRUE(found.v.complete());
    EXPECT_EQ(found.set.files.size(), 4u);
    EXPECT_GE(found.v.recoveryBlocks, 120);
  }
  std::filesystem::remove("data.bin.002");
  flipByte("data.bin.004", 5000);
  Found found = checkHere(fs);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string& name = found.set.files[i].name;
    const FileStatus want = name == "data.bin.002"   ? FileStatus::Missing
                            : name == "data.bin.004" ? FileStatus::Damaged
                                                     : FileStatus::Complete;
    EXPECT_EQ(found.v.files[i].status, want) << name;
  }
  EXPECT_TRUE(found.v.repairable());
  const auto rebuilt = repairHere(fs, found);
  ASSERT_EQ(rebuilt.size(), 2u);
  for (const auto& [name, bytes] : rebuilt) EXPECT_TRUE(bytes == original[name]) << name;
}

// A stop or a failure part way leaves no recovery file, whole or hidden.
TEST(Par2Set, StopAndFailureLeaveNoRecoveryFiles) {
  const struct {
    const char* what;
    int stopAt;  // stop() answers true from this call (0: never)
    const char* failOp;
    int failNth;
    const char* failName;  // "" any file
  } cases[] = {
      {"stopped while reading", 2, nullptr, 0, ""},
      {"disk full in the first volume", 0, "write", 2, ""},
      {"a piece unreadable", 0, "read", 3, "q.2"},
      {"the last name refused", 0, "nameTemporary", 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    RecordingFileServices fs;
    const auto inputs = makePieces("q", {60000, 60000, 123});
    const auto before = filesHere();
    if (c.failOp) fs.failOn(c.failOp, c.failNth, err::DiskFull, c.failName);
    int polls = 0;
    Watch watch;
    watch.stop = [&] { return c.stopAt > 0 && ++polls >= c.stopAt; };
    if (c.stopAt) {
      EXPECT_THROW(create(fs, 1, inputs, "q", 10, 0644, watch), StopRequested);
    } else {
      EXPECT_THROW(create(fs, 1, inputs, "q", 10, 0644, watch), RuntimeError);
    }
    EXPECT_EQ(filesHere(), before);
    EXPECT_EQ(fs.openFiles(), 0);
  }
}
