// MD5 (RFC 1321), the digest the recovery files identify packets, files
// and blocks by.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vexo::par2 {

using Digest = std::array<std::uint8_t, 16>;

class Md5 {
 public:
  Md5();
  void update(const void* data, std::size_t n);
  // x.update(data, n) and y.update(data, n), in about the time of one
  // when both have been given whole 64-byte blocks so far.
  static void updateBoth(Md5& x, Md5& y, const void* data, std::size_t n);
  // The digest of everything given so far; the object is spent afterwards.
  Digest finish();
  // Bytes given so far.
  std::uint64_t length() const { return length_; }

 private:
  void blocks(const std::uint8_t* p, std::size_t count);
  std::uint32_t state_[4];
  std::uint8_t pending_[64];
  std::uint64_t length_ = 0;
};

Digest md5(const void* data, std::size_t n);

// Lower-case hexadecimal, as md5sum prints it.
std::string hex(const Digest& d);

}  // namespace vexo::par2
