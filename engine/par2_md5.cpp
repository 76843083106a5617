#include "par2_md5.h"

#include <algorithm>
#include <cstring>

namespace vexo::par2 {
namespace {

constexpr std::uint32_t kK[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

inline std::uint32_t rotl(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

inline std::uint32_t load32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

namespace {

inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

// N digests of the same 64-byte blocks at once: each digest's steps depend
// on the one before, so several of them interleaved keep the processor
// busy where one alone waits.
template <int N>
void compress(std::uint32_t* const* states, const std::uint8_t* p, std::size_t count) {
  std::uint32_t a0[N], b0[N], c0[N], d0[N];
  for (int j = 0; j < N; ++j) {
    a0[j] = states[j][0];
    b0[j] = states[j][1];
    c0[j] = states[j][2];
    d0[j] = states[j][3];
  }
  for (; count > 0; --count, p += 64) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = load32(p + 4 * i);
    std::uint32_t a[N], b[N], c[N], d[N];
    for (int j = 0; j < N; ++j) {
      a[j] = a0[j];
      b[j] = b0[j];
      c[j] = c0[j];
      d[j] = d0[j];
    }
#define STEP(FN, a, b, c, d, k, s, i) \
  for (int j = 0; j < N; ++j) a[j] = b[j] + rotl(a[j] + FN(b[j], c[j], d[j]) + kK[i] + m[k], s)
    for (int i = 0; i < 16; i += 4) {
      STEP(F, a, b, c, d, i, 7, i);
      STEP(F, d, a, b, c, i + 1, 12, i + 1);
      STEP(F, c, d, a, b, i + 2, 17, i + 2);
      STEP(F, b, c, d, a, i + 3, 22, i + 3);
    }
    for (int i = 16; i < 32; i += 4) {
      STEP(G, a, b, c, d, (5 * i + 1) & 15, 5, i);
      STEP(G, d, a, b, c, (5 * i + 6) & 15, 9, i + 1);
      STEP(G, c, d, a, b, (5 * i + 11) & 15, 14, i + 2);
      STEP(G, b, c, d, a, (5 * i + 16) & 15, 20, i + 3);
    }
    for (int i = 32; i < 48; i += 4) {
      STEP(H, a, b, c, d, (3 * i + 5) & 15, 4, i);
      STEP(H, d, a, b, c, (3 * i + 8) & 15, 11, i + 1);
      STEP(H, c, d, a, b, (3 * i + 11) & 15, 16, i + 2);
      STEP(H, b, c, d, a, (3 * i + 14) & 15, 23, i + 3);
    }
    for (int i = 48; i < 64; i += 4) {
      STEP(I, a, b, c, d, (7 * i) & 15, 6, i);
      STEP(I, d, a, b, c, (7 * i + 7) & 15, 10, i + 1);
      STEP(I, c, d, a, b, (7 * i + 14) & 15, 15, i + 2);
      STEP(I, b, c, d, a, (7 * i + 21) & 15, 21, i + 3);
    }
#undef STEP
    for (int j = 0; j < N; ++j) {
      a0[j] += a[j];
      b0[j] += b[j];
      c0[j] += c[j];
      d0[j] += d[j];
    }
  }
  for (int j = 0; j < N; ++j) {
    states[j][0] = a0[j];
    states[j][1] = b0[j];
    states[j][2] = c0[j];
    states[j][3] = d0[j];
  }
}

}  // namespace

void Md5::blocks(const std::uint8_t* p, std::size_t count) {
  std::uint32_t* states[1] = {state_};
  compress<1>(states, p, count);
}

void Md5::updateBoth(Md5& x, Md5& y, const void* data, std::size_t n) {
  if (x.length_ % 64 != 0 || y.length_ % 64 != 0) {
    x.update(data, n);
    y.update(data, n);
    return;
  }
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint32_t* states[2] = {x.state_, y.state_};
  compress<2>(states, p, n / 64);
  x.length_ += n / 64 * 64;
  y.length_ += n / 64 * 64;
  x.update(p + n / 64 * 64, n % 64);
  y.update(p + n / 64 * 64, n % 64);
}

void Md5::update(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t have = static_cast<std::size_t>(length_ % 64);
  length_ += n;
  if (have != 0) {
    const std::size_t take = std::min<std::size_t>(64 - have, n);
    std::memcpy(pending_ + have, p, take);
    p += take;
    n -= take;
    if (have + take < 64) return;
    blocks(pending_, 1);
  }
  blocks(p, n / 64);
  std::memcpy(pending_, p + (n / 64) * 64, n % 64);
}

Digest Md5::finish() {
  const std::uint64_t bits = length_ * 8;
  std::uint8_t pad[72] = {0x80};
  const std::size_t have = static_cast<std::size_t>(length_ % 64);
  const std::size_t padLen = (have < 56 ? 56 - have : 120 - have);
  for (int i = 0; i < 8; ++i) pad[padLen + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  update(pad, padLen + 8);
  Digest d;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) d[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
  return d;
}

Digest md5(const void* data, std::size_t n) {
  Md5 m;
  m.update(data, n);
  return m.finish();
}

std::string hex(const Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (const auto b : d) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace vexo::par2
