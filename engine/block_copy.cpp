#include "block_copy.h"

#include <new>

namespace vexo {
namespace {
constexpr std::align_val_t kAlignment{4096};
constexpr std::size_t kCapacity = 32768;  // kNormalBlock rounded up to whole pages
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
    : fs_(fs), buffer_(static_cast<char*>(::operator new(kCapacity, kAlignment))) {}

BlockCopier::~BlockCopier() { ::operator delete(buffer_, kAlignment); }

bool BlockCopier::blockStep(int src, int dst, std::int64_t size) {
  const std::int64_t pos = fs_.loc(src);
  fs_.read(src, buffer_, length_);
  if (!fs_.eof(src)) {
    fs_.write(dst, buffer_, length_);
    return false;
  }
  // The short read is never written; the tail copies what is left exactly.
  tail(src, dst, size, pos);
  return true;
}

void BlockCopier::tail(int src, int dst, std::int64_t size, std::int64_t pos) {
  for (;;) {
    const std::int64_t rest = size + 1 - pos;
    const std::size_t block = ladderBlock(rest);  // 0 also for a negative rest
    if (block == 0) return;
    const std::size_t got = fs_.read(src, buffer_, block, pos);
    if (got < block) {
      // The file ended early (it shrank since its length was taken): take
      // its real end as the size and go on down the ladder from here.
      size = pos - 1 + static_cast<std::int64_t>(got);
      continue;
    }
    fs_.write(dst, buffer_, block);
    pos = fs_.loc(src);
  }
}

}  // namespace vexo
