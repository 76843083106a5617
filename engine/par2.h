// Recovery sets in the PAR2 2.0 format over a list of files (the pieces of
// a split): writing one, reading one (ours or another program's), telling
// which blocks of its files are damaged or missing, and rebuilding them.
//
// A set is an index file NAME.par2 with the checksums of every file and
// block, and recovery volumes NAME.volFIRST+COUNT.par2 holding recovery
// blocks: any damaged or missing blocks of the files, up to the number of
// recovery blocks, can be rebuilt from the rest.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_services.h"
#include "par2_md5.h"

namespace vexo::par2 {

// Progress and stop for the long steps: progress(done, total) in bytes as
// the work goes on; stop() is asked between steps, and when it answers
// true the work ends by throwing StopRequested (block_copy.h).
struct Watch {
  std::function<void(std::int64_t done, std::int64_t total)> progress;
  std::function<bool()> stop;
};

// No set has more input blocks than there are constants to weight them with.
inline constexpr std::int64_t kMaxInputBlocks = 32768;
// The block count a set is made with when its files allow.
inline constexpr std::int64_t kTargetBlocks = 2000;

// ---------------------------------------------------------------- writing

struct Input {
  std::string path;  // how the file is opened
  std::string name;  // its name in the set (a bare name)
};

// The shape of a set over files of these lengths: the block size (a
// multiple of 4) that gives about kTargetBlocks blocks, and at least one
// block per nonempty file; the recovery blocks for the percentage (1-100,
// at least one); the volumes' names after base.
struct Layout {
  std::int64_t blockSize = 0;
  std::int64_t inputBlocks = 0;
  std::int64_t recoveryBlocks = 0;
  struct Volume {
    std::int64_t first = 0;  // exponent of its first recovery block
    std::int64_t count = 0;
    std::string name;
  };
  std::vector<Volume> volumes;
  std::string indexName;
  // Every name the set is written under: the index, then the volumes.
  std::vector<std::string> names() const;
};
// Throws std::invalid_argument when the files need more blocks than the
// format has (more than kMaxInputBlocks nonempty files).
Layout plan(const std::vector<std::int64_t>& lengths, int percent, const std::string& base,
            std::int64_t blockSize = 0);

// Writes the set of plan(lengths of inputs, percent, base) over the inputs,
// in the selected folder, reading through file number f. Every file of the
// set is written as a temporary without a name (FileServices::
// createTemporary, file numbers from f + 1) and takes its name only once
// all are complete: a failure, a stop or a kill leaves no file of the set,
// named or not. Names of an existing set are replaced. The files are made
// with the permission bits `mode` (the pieces'), from the moment they exist.
// Memory: the recovery blocks of one pass (at most kPassMemory bytes, or
// one block) and a few input blocks.
Layout create(FileServices& fs, int f, const std::vector<Input>& inputs, const std::string& base, int percent,
              FileAttributes mode, const Watch& watch = {}, std::int64_t blockSize = 0);

inline constexpr std::int64_t kPassMemory = std::int64_t{128} << 20;

// ---------------------------------------------------------------- reading

struct BlockCheck {
  Digest md5{};
  std::uint32_t crc = 0;
};

struct FileEntry {
  Digest id{};
  std::string name;  // bytes as the set has them
  std::int64_t length = 0;
  Digest hash{}, hash16k{};
  std::vector<BlockCheck> blocks;  // empty when the set lacks them
  bool described = false;
  bool checked = false;  // has block checksums
  std::int64_t blockCount(std::int64_t blockSize) const { return (length + blockSize - 1) / blockSize; }
};

// A recovery block as its packet's header gives it: the packet's checksum
// is checked when the block is used, not when the set is read.
struct RecoveryBlock {
  std::uint32_t exponent = 0;
  std::string path;         // the file it is in
  std::int64_t offset = 0;  // 0-based position of its data there
  std::int64_t length = 0;  // bytes of data
  Digest packetHash{};      // the packet's MD5, from its header
};

struct RecoverySet {
  Digest id{};
  std::int64_t blockSize = 0;
  std::vector<FileEntry> files;          // in the order of the main packet
  std::vector<RecoveryBlock> recovery;  // one per exponent
  std::vector<std::string> paths;       // the files it was found in
  // Every file described: the set can be checked and used.
  bool usable() const;
  std::int64_t inputBlocks() const;
};

// Every set whose main packet one of the files holds, with what all the
// files hold for it. Damaged packets, unknown ones and repeats are passed
// over; packets may come in any order. Recovery blocks are only located
// (their data is neither read nor checked): a repair checks those it uses.
std::vector<RecoverySet> readSets(FileServices& fs, int f, const std::vector<std::string>& paths,
                                  const Watch& watch = {});

// Whether a name ends in ".par2" (in either case).
bool isSetFile(const std::string& name);

// -------------------------------------------------------------- verifying

enum class FileStatus { Complete, Missing, Damaged };

struct FileCheck {
  FileStatus status = FileStatus::Complete;
  std::int64_t length = -1;  // as found; -1 when missing
  std::vector<bool> good;    // per block
  std::int64_t damagedBlocks = 0;
};

struct Verification {
  std::vector<FileCheck> files;  // as the set's files
  std::int64_t damagedBlocks = 0;
  std::int64_t recoveryBlocks = 0;
  bool complete() const;
  bool repairable() const { return damagedBlocks <= recoveryBlocks; }
  // Recovery blocks still needed for a repair.
  std::int64_t shortfall() const { return damagedBlocks > recoveryBlocks ? damagedBlocks - recoveryBlocks : 0; }
};

// Checks every file of a usable set (found in the folder) block by block
// against its checksums. A file's blocks are checked where they belong;
// one too short has lost its blocks from where it ends, one too long is
// damaged but keeps its blocks.
// How closely: every block by its MD5 and CRC-32; by its CRC-32 alone,
// several times faster; or, for callers that check the result as a whole
// afterwards, only the lengths of the files (one of the right length is
// taken as whole without reading it).
enum class Depth { Full, Crc, Lengths };
Verification verify(FileServices& fs, int f, const RecoverySet& set, const std::string& folder,
                    const Watch& watch = {}, Depth depth = Depth::Full);

// -------------------------------------------------------------- repairing

// The damage could not be undone: too few recovery blocks, or none of the
// ways to combine them can be solved.
struct RepairFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Memory a repair keeps its rebuilt blocks in: more damage than that is
// rebuilt in several passes, each reading the good blocks again.
inline constexpr std::int64_t kRepairMemory = std::int64_t{64} << 20;

class Repair {
 public:
  // Prepares the rebuilding of every damaged block of the verified set
  // from the good blocks and the recovery blocks: throws RepairFailed when
  // the recovery blocks cannot give them. The blocks are rebuilt as stream()
  // reaches them, as many at once as kRepairMemory holds, reading through
  // file number f; watch covers that work. memory: for the rebuilt blocks.
  Repair(FileServices& fs, int f, const RecoverySet& set, const Verification& v, const std::string& folder,
         const Watch& watch = {}, std::int64_t memory = kRepairMemory);
  ~Repair();
  // The blocks to rebuild.
  std::int64_t blocks() const;
  // Told before each pass of rebuilding: how many blocks the passes before
  // it made, and how many it makes.
  std::function<void(std::int64_t made, std::int64_t count)> onPass;
  // The set's files (indices) in the order stream() will be asked for
  // them; a pass makes the blocks wanted next in that order. The set's
  // own order unless told.
  void streamOrder(const std::vector<std::size_t>& files);
  // Streams the correct bytes of the set's file i: good blocks read from
  // the file (through file number f), rebuilt ones as they are made. Throws
  // RepairFailed when a rebuilt block does not match its checksums.
  void stream(std::size_t file, const std::function<void(const char* data, std::size_t n)>& out,
              const Watch& watch = {});

 private:
  struct State;
  void rebuild(std::size_t k);
  FileServices& fs_;
  int f_;
  const RecoverySet& set_;
  const Verification& v_;
  std::string folder_;
  Watch watch_;
  std::int64_t memory_;
  std::vector<std::size_t> order_;
  std::unique_ptr<State> s_;
};

}  // namespace vexo::par2
