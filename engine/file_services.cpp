#include "file_services.h"

#include "crc32.h"

namespace vexo {

RuntimeError::RuntimeError(int number, const std::string& what, const std::string& file, const std::string& reason)
    : std::runtime_error(what.empty() ? "runtime error " + std::to_string(number) : what),
      number_(number),
      file_(file),
      reason_(reason) {}

std::int64_t FileServices::copyBlocks(int src, int dst, std::span<const std::size_t> lengths,
                                      std::span<char> buffer, std::optional<std::int64_t> pos,
                                      std::uint32_t* crc) {
  std::int64_t found = 0;
  for (const std::size_t len : lengths) {
    if (len > buffer.size()) throw RuntimeError(err::BadFileMode, "block longer than the buffer");
    const std::size_t got = read(src, buffer.data(), len, pos ? std::optional(*pos + found) : std::nullopt);
    found += static_cast<std::int64_t>(got);
    if (got < len) break;
    if (crc) *crc = crc32Update(*crc, buffer.data(), len);  // while the bytes are in the cache
    write(dst, buffer.data(), len);
  }
  return found;
}

}  // namespace vexo
