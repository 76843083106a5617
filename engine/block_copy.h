// The block copy shared by split and join: fixed-size blocks, and a tail
// copied with descending block sizes so that no read passes the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "file_services.h"
#include "user_interface.h"

namespace vexo {

inline constexpr std::size_t kNormalBlock = 30000;

// Thrown between blocks when the user has asked to stop.
struct StopRequested {};

// Block length the tail uses for `rest` remaining bytes (0 when done).
std::size_t ladderBlock(std::int64_t rest);

class BlockCopier {
 public:
  // A count for blockSteps() that runs until the tail has been copied.
  static constexpr std::int64_t kToTheEnd = std::numeric_limits<std::int64_t>::max();

  explicit BlockCopier(FileServices& fs);
  ~BlockCopier();
  BlockCopier(const BlockCopier&) = delete;
  BlockCopier& operator=(const BlockCopier&) = delete;

  // Sets the buffer length for the next block steps (at most kNormalBlock).
  void setLength(std::size_t length) { length_ = length; }
  // Every byte written from now on extends this CRC-32 (nullptr: none).
  void setCrc(std::uint32_t* crc) { crc_ = crc; }
  // After every run of blocks written, tells ui how many bytes of total
  // are done and asks whether to stop (StopRequested is thrown then).
  void watch(UserInterface& ui, std::int64_t total) {
    ui_ = &ui;
    total_ = total;
  }
  // Bytes written so far.
  std::int64_t done() const { return done_; }

  // Reads one buffer from src and writes it to dst. When the read fell short
  // the bytes from the position before it up to `size` are copied by the
  // tail instead; returns true then.
  bool blockStep(int src, int dst, std::int64_t size);

  // Runs up to `count` block steps, ending early after one that ran the
  // tail; returns true then. The blocks that lie within `size` (the source's
  // length taken at the start) move in one go.
  bool blockSteps(int src, int dst, std::int64_t size, std::int64_t count);

  // Copies the bytes from the 1-based position pos to the end (`size`
  // bytes long) of src to dst.
  void tail(int src, int dst, std::int64_t size, std::int64_t pos);

 private:
  FileServices& fs_;
  char* buffer_;  // one page-aligned buffer for the whole request
  std::size_t length_ = kNormalBlock;
  std::uint32_t* crc_ = nullptr;
  UserInterface* ui_ = nullptr;
  std::int64_t done_ = 0;
  std::int64_t total_ = 0;

  void moved(std::int64_t bytes);
  std::vector<std::size_t> run_;  // lengths of the blocks moved in one go
};

}  // namespace vexo
