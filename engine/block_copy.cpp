#include "block_copy.h"

#include <algorithm>
#include <new>

#include "crc32.h"

namespace vexo {
namespace {
constexpr std::align_val_t kAlignment{4096};
// Whole pages, enough for 16 normal blocks to move with one read and one
// write (three such moves cover the 48 of a piece). With the space of a run
// set aside before it is written (see the file services), 16 blocks gave
// the fastest and steadiest moves here; 32 were as fast at best but two to
// three times slower whenever other work shared the processor's caches,
// and a buffer for all 48 made a split up to three times slower.
constexpr std::size_t kCapacity = std::size_t{480} << 10;
// Blocks moved in one go at most: a piece of the floppy sizes (48 blocks)
// goes in one run; larger pieces report progress, and can be stopped,
// every 64 blocks (1.9 MB).
constexpr std::int64_t kLongestRun = 64;
}  // namespace

std::size_t ladderBlock(std::int64_t rest) {
  // A rest equal to a block length takes the next smaller block.
  if (rest > 20000) return 20000;
  if (rest > 10000) return 10000;
  if (rest > 5000) return 5000;
  if (rest > 4000) return 4000;
  if (rest > 3000) return 3000;
  if (rest > 2000) return 2000;
  if (rest > 1000) return 1000;
  if (rest > 500) return 500;
  if (rest > 100) return 100;
  if (rest > 50) return 50;
  if (rest > 10) return 10;
  if (rest > 5) return 5;
  if (rest > 0) return 1;
  return 0;
}

BlockCopier::BlockCopier(FileServices& fs)
    : fs_(fs), buffer_(static_cast<char*>(::operator new(kCapacity, kAlignment))) {
  run_.reserve(64);
}

BlockCopier::~BlockCopier() { ::operator delete(buffer_, kAlignment); }

bool BlockCopier::blockStep(int src, int dst, std::int64_t size) { return blockSteps(src, dst, size, 1); }

void BlockCopier::moved(std::int64_t bytes) {
  done_ += bytes;
  if (!ui_) return;
  ui_->progress(done_, total_);
  if (ui_->stopRequested()) throw StopRequested{};
}

bool BlockCopier::blockSteps(int src, int dst, std::int64_t size, std::int64_t count) {
  const auto length = static_cast<std::int64_t>(length_);
  while (count > 0) {
    const std::int64_t pos = fs_.loc(src);
    // Blocks within the length taken at the start are whole as far as is
    // known: they move in one go, and the file services may move them
    // without the bytes passing through here.
    const std::int64_t whole =
        std::min({count, kLongestRun, std::max<std::int64_t>(0, (size - (pos - 1)) / length)});
    if (whole > 0) {
      run_.assign(static_cast<std::size_t>(whole), length_);
      const std::int64_t found = fs_.copyBlocks(src, dst, run_, {buffer_, kCapacity}, std::nullopt, crc_);
      if (found < whole * length) {
        // The source has shrunk: the blocks before the short one are
        // written, and the tail goes on from where the short one began.
        if (found >= length) moved(found / length * length);
        tail(src, dst, size, pos + found / length * length);
        return true;
      }
      moved(whole * length);
      count -= whole;
      continue;
    }
    // A block that the length does not cover: it falls short, unless the
    // file has grown.
    fs_.read(src, buffer_, length_);
    if (fs_.eof(src)) {
      // The short read is never written; the tail copies what is left exactly.
      tail(src, dst, size, pos);
      return true;
    }
    fs_.write(dst, buffer_, length_);
    if (crc_) *crc_ = crc32Update(*crc_, buffer_, length_);
    moved(length);
    --count;
  }
  return false;
}

void BlockCopier::tail(int src, int dst, std::int64_t size, std::int64_t pos) {
  for (;;) {
    // The ladder's blocks down to `size` never reach past it, so all of them
    // are whole as far as is known, and they move in one go.
    run_.clear();
    std::int64_t total = 0;
    for (std::size_t block; (block = ladderBlock(size + 1 - pos - total)) != 0;) {
      run_.push_back(block);
      total += static_cast<std::int64_t>(block);
    }
    if (total == 0) return;  // also for a negative rest
    const std::int64_t found = fs_.copyBlocks(src, dst, run_, {buffer_, kCapacity}, pos, crc_);
    if (found >= total) {
      moved(total);
      return;
    }
    // The file ended early (it shrank since its length was taken): nothing
    // of the short block was written. Take the real end as the size and go
    // on down the ladder from the short block.
    size = pos - 1 + found;
    std::int64_t written = 0;
    for (const std::size_t block : run_) {
      if (written + static_cast<std::int64_t>(block) > found) break;
      written += static_cast<std::int64_t>(block);
    }
    if (written > 0) moved(written);
    pos += written;
  }
}

}  // namespace vexo
