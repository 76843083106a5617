// CRC-32 as zlib and gzip compute it (reflected polynomial 0xEDB88320,
// initial and final value inverted): crc32Update(0, "123456789", 9) is
// 0xCBF43926. Runs on carry-less multiplication where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo {

// The CRC of the bytes so far (0 for none) extended by n more bytes.
std::uint32_t crc32Update(std::uint32_t crc, const char* data, std::size_t n);

// The same with the byte-at-a-time tables only; the reference the fast
// path is checked against.
std::uint32_t crc32Tables(std::uint32_t crc, const char* data, std::size_t n);

// One way of computing the CRC this processor can run, for lengths of at
// least `minimum` bytes: crc32Update picks the fastest; tests and benchmarks
// check each against the tables.
struct Crc32Path {
  const char* name;
  std::size_t minimum;
  std::uint32_t (*update)(std::uint32_t crc, const char* data, std::size_t n);
};
std::vector<Crc32Path> crc32Paths();

}  // namespace vexo
