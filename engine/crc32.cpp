#include "crc32.h"

#include <array>
#include <cstring>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VEXO_CRC_CLMUL 1
#include <immintrin.h>
#endif

namespace vexo {
namespace {

constexpr std::uint32_t kPoly = 0xEDB88320u;

// Eight tables for eight bytes at a time.
struct Tables {
  std::array<std::array<std::uint32_t, 256>, 8> t{};
  constexpr Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};
constexpr Tables kTables;

// Register value (not inverted) over n bytes.
std::uint32_t rawTables(std::uint32_t c, const unsigned char* p, std::size_t n) {
  const auto& t = kTables.t;
  while (n >= 8) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    lo = __builtin_bswap32(lo);
    hi = __builtin_bswap32(hi);
#endif
    lo ^= c;
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return c;
}

#ifdef VEXO_CRC_CLMUL
// The 128-bit loads and folds every carry-less path ends with. (Macros:
// lambdas would not take the functions' targets.)
#define load(q) _mm_loadu_si128(reinterpret_cast<const __m128i*>(q))
#define fold(x, k, next)                                                                       \
  _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), \
                next)
// x^(128±32) mod P: folds one 128-bit value onto the next 16 bytes.
#define K128 _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL)

// The end of every carry-less path: x stands for all bytes before p; it
// goes on 16 bytes a step, then leaves the register as the 16 bytes it
// stands for would, and the tables finish the rest.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t finishClmul(__m128i x, const unsigned char* p,
                                                                    std::size_t n) {
  while (n >= 16) {
    x = fold(x, K128, load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) unsigned char last[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
  return rawTables(rawTables(0, last, 16), p, n);
}

// Folds 64 bytes at a time in four 128-bit lanes by carry-less
// multiplication with x^(512±32) and x^(128±32) mod P (bit-reflected), down
// to one 128-bit value that leaves the register as the 16 bytes it stands
// for would; the tables finish from there. Needs n >= 64.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t rawClmul(std::uint32_t c, const unsigned char* p,
                                                                 std::size_t n) {
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);  // hi, lo
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = fold(x0, k512, load(p));
    x1 = fold(x1, k512, load(p + 16));
    x2 = fold(x2, k512, load(p + 32));
    x3 = fold(x3, k512, load(p + 48));
    p += 64;
    n -= 64;
  }
  x0 = fold(x0, K128, x1);
  x0 = fold(x0, K128, x2);
  x0 = fold(x0, K128, x3);
  return finishClmul(x0, p, n);
}

// The same folds with two 16-byte lanes in one 256-bit register (AVX2 with
// the wide carry-less multiply), four registers side by side: 128 bytes a
// step (x^(1024±32)), then 32 bytes a step (x^(256±32)). Needs n >= 128.
__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) std::uint32_t rawClmul256(std::uint32_t c,
                                                                                  const unsigned char* p,
                                                                                  std::size_t n) {
  const __m256i k1024 = _mm256_set_epi64x(0x14a7fe880LL, 0x1e88ef372LL, 0x14a7fe880LL, 0x1e88ef372LL);
  const __m256i k256 = _mm256_set_epi64x(0x15a546366LL, 0x0f1da05aaLL, 0x15a546366LL, 0x0f1da05aaLL);
#define load256(q) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))
#define fold256(x, k, next)                                                                                  \
  _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11)), \
                   next)
  __m256i x0 = _mm256_xor_si256(load256(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(c))));
  __m256i x1 = load256(p + 32), x2 = load256(p + 64), x3 = load256(p + 96);
  p += 128;
  n -= 128;
  while (n >= 128) {
    x0 = fold256(x0, k1024, load256(p));
    x1 = fold256(x1, k1024, load256(p + 32));
    x2 = fold256(x2, k1024, load256(p + 64));
    x3 = fold256(x3, k1024, load256(p + 96));
    p += 128;
    n -= 128;
  }
  x0 = fold256(x0, k256, x1);
  x0 = fold256(x0, k256, x2);
  x0 = fold256(x0, k256, x3);
  while (n >= 32) {
    x0 = fold256(x0, k256, load256(p));
    p += 32;
    n -= 32;
  }
#undef load256
#undef fold256
  // The register's two lanes are 32 bytes folded; one more fold makes 16.
  return finishClmul(fold(_mm256_castsi256_si128(x0), K128, _mm256_extracti128_si256(x0, 1)), p, n);
}

// The same folds with four 16-byte lanes in one 512-bit register, 64 bytes
// a step. Needs n >= 256.
__attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"))) std::uint32_t rawClmul512(
    std::uint32_t c, const unsigned char* p, std::size_t n) {
  const __m512i k512 = _mm512_set_epi64(0x1c6e41596LL, 0x154442bd4LL, 0x1c6e41596LL, 0x154442bd4LL, 0x1c6e41596LL,
                                         0x154442bd4LL, 0x1c6e41596LL, 0x154442bd4LL);
#define load512(q) _mm512_loadu_si512(reinterpret_cast<const void*>(q))
#define fold512(x, next) \
  _mm512_ternarylogic_epi32(_mm512_clmulepi64_epi128(x, k512, 0x00), _mm512_clmulepi64_epi128(x, k512, 0x11), next, 0x96)
  // Four registers side by side fold 256 bytes a step (x^(2048±32)), so
  // that the multiplier works on one while the others wait for results;
  // then they fold into one, and it goes on 64 bytes a step.
  __m512i x = _mm512_xor_si512(load512(p), _mm512_maskz_set1_epi32(1, static_cast<int>(c)));
  if (n >= 512) {
    const __m512i k2048 = _mm512_set_epi64(0x1322d1430LL, 0x11542778aLL, 0x1322d1430LL, 0x11542778aLL, 0x1322d1430LL,
                                             0x11542778aLL, 0x1322d1430LL, 0x11542778aLL);
    __m512i x1 = load512(p + 64), x2 = load512(p + 128), x3 = load512(p + 192);
    p += 256;
    n -= 256;
    while (n >= 256) {
      x = _mm512_ternarylogic_epi32(_mm512_clmulepi64_epi128(x, k2048, 0x00),
                                    _mm512_clmulepi64_epi128(x, k2048, 0x11), load512(p), 0x96);
      x1 = _mm512_ternarylogic_epi32(_mm512_clmulepi64_epi128(x1, k2048, 0x00),
                                     _mm512_clmulepi64_epi128(x1, k2048, 0x11), load512(p + 64), 0x96);
      x2 = _mm512_ternarylogic_epi32(_mm512_clmulepi64_epi128(x2, k2048, 0x00),
                                     _mm512_clmulepi64_epi128(x2, k2048, 0x11), load512(p + 128), 0x96);
      x3 = _mm512_ternarylogic_epi32(_mm512_clmulepi64_epi128(x3, k2048, 0x00),
                                     _mm512_clmulepi64_epi128(x3, k2048, 0x11), load512(p + 192), 0x96);
      p += 256;
      n -= 256;
    }
    x = fold512(x, x1);
    x = fold512(x, x2);
    x = fold512(x, x3);
  } else {
    p += 64;
    n -= 64;
  }
  while (n >= 64) {
    x = fold512(x, load512(p));
    p += 64;
    n -= 64;
  }
#undef load512
#undef fold512
  // The four lanes are the x0..x3 of the 128-bit loop, 64 bytes folded.
  alignas(64) unsigned char lanes[64];
  _mm512_store_si512(reinterpret_cast<void*>(lanes), x);
  __m128i x0 = load(lanes);
  x0 = fold(x0, K128, load(lanes + 16));
  x0 = fold(x0, K128, load(lanes + 32));
  x0 = fold(x0, K128, load(lanes + 48));
  return finishClmul(x0, p, n);
}
#undef load
#undef fold
#undef K128

bool haveClmul512() {
  static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                           __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("pclmul");
  return have;
}

bool haveClmul256() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq") &&
                           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}

bool haveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}
#endif

}  // namespace

std::vector<Crc32Path> crc32Paths() {
  std::vector<Crc32Path> paths;
#ifdef VEXO_CRC_CLMUL
  if (haveClmul512())
    paths.push_back({"512-bit", 256, [](std::uint32_t crc, const char* d, std::size_t n) {
                       return ~rawClmul512(~crc, reinterpret_cast<const unsigned char*>(d), n);
                     }});
  if (haveClmul256())
    paths.push_back({"256-bit", 128, [](std::uint32_t crc, const char* d, std::size_t n) {
                       return ~rawClmul256(~crc, reinterpret_cast<const unsigned char*>(d), n);
                     }});
  if (haveClmul())
    paths.push_back({"128-bit", 64, [](std::uint32_t crc, const char* d, std::size_t n) {
                       return ~rawClmul(~crc, reinterpret_cast<const unsigned char*>(d), n);
                     }});
#endif
  paths.push_back({"tables", 0, crc32Tables});
  return paths;
}

std::uint32_t crc32Tables(std::uint32_t crc, const char* data, std::size_t n) {
  return ~rawTables(~crc, reinterpret_cast<const unsigned char*>(data), n);
}

std::uint32_t crc32Update(std::uint32_t crc, const char* data, std::size_t n) {
#ifdef VEXO_CRC_CLMUL
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  if (n >= 256 && haveClmul512()) return ~rawClmul512(~crc, p, n);
  if (n >= 128 && haveClmul256()) return ~rawClmul256(~crc, p, n);
  if (n >= 64 && haveClmul()) return ~rawClmul(~crc, p, n);
#endif
  return crc32Tables(crc, data, n);
}

}  // namespace vexo
