#include "par2_gf.h"

#include <atomic>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VEXO_GF_X86 1
#include <immintrin.h>
#endif

namespace vexo::par2 {
namespace {

constexpr std::uint32_t kPoly = 0x1100B;
constexpr std::uint32_t kOrder = 65535;  // of the multiplicative group

struct Tables {
  std::vector<std::uint16_t> exp;  // 2 * kOrder entries: no reduction of sums of two logs
  std::vector<std::uint32_t> log;
  std::vector<std::uint32_t> inputLogs;
  Tables() : exp(2 * kOrder), log(65536), inputLogs(32768) {
    std::uint32_t v = 1;
    for (std::uint32_t n = 0; n < kOrder; ++n) {
      exp[n] = exp[n + kOrder] = static_cast<std::uint16_t>(v);
      log[v] = n;
      v <<= 1;
      if (v & 0x10000) v ^= kPoly;
    }
    std::uint32_t k = 0;
    for (std::uint32_t l = 1; k < inputLogs.size(); ++l)
      if (l % 3 != 0 && l % 5 != 0 && l % 17 != 0 && l % 257 != 0) inputLogs[k++] = l;
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// The portable kernel: the same nibble tables, one byte at a time.
void mulAddPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, const MulTable& t) {
  for (std::size_t u = 0; u < n; u += kRegionUnit, src += 2 * kRegionUnit, dst += kRegionUnit) {
    for (int j = 0; j < 32; ++j) {
      const std::uint8_t a = src[j], b = src[32 + j], c = src[64 + j], d = src[96 + j];
      dst[j] ^= t.lo[0][a] ^ t.lo[1][b] ^ t.lo[2][c] ^ t.lo[3][d];
      dst[32 + j] ^= t.hi[0][a] ^ t.hi[1][b] ^ t.hi[2][c] ^ t.hi[3][d];
    }
  }
}

void preparePortable(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += 2 * kRegionUnit)
    for (int j = 0; j < 32; ++j) {
      out[j] = in[2 * j] & 15;
      out[32 + j] = in[2 * j] >> 4;
      out[64 + j] = in[2 * j + 1] & 15;
      out[96 + j] = in[2 * j + 1] >> 4;
    }
}

#ifdef VEXO_GF_X86
// Sixteen table lookups at once with byte shuffles: each nibble of the
// words picks its product's low and high byte.
__attribute__((target("ssse3"))) void mulAddSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                                                   const MulTable& t) {
  const __m128i l0 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lo[0]));
  const __m128i l1 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lo[1]));
  const __m128i l2 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lo[2]));
  const __m128i l3 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lo[3]));
  const __m128i h0 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.hi[0]));
  const __m128i h1 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.hi[1]));
  const __m128i h2 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.hi[2]));
  const __m128i h3 = _mm_load_si128(reinterpret_cast<const __m128i*>(t.hi[3]));
  for (std::size_t u = 0; u < n; u += kRegionUnit, src += 2 * kRegionUnit, dst += kRegionUnit) {
    for (int half = 0; half < 32; half += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + half));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32 + half));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 64 + half));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 96 + half));
      const __m128i rl = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(l0, a), _mm_shuffle_epi8(l1, b)),
                                       _mm_xor_si128(_mm_shuffle_epi8(l2, c), _mm_shuffle_epi8(l3, d)));
      const __m128i rh = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(h0, a), _mm_shuffle_epi8(h1, b)),
                                       _mm_xor_si128(_mm_shuffle_epi8(h2, c), _mm_shuffle_epi8(h3, d)));
      auto* dl = reinterpret_cast<__m128i*>(dst + half);
      auto* dh = reinterpret_cast<__m128i*>(dst + 32 + half);
      _mm_storeu_si128(dl, _mm_xor_si128(_mm_loadu_si128(dl), rl));
      _mm_storeu_si128(dh, _mm_xor_si128(_mm_loadu_si128(dh), rh));
    }
  }
}

// The same 32 words at a time.
__attribute__((target("avx2"))) void mulAddAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                                                 const MulTable& t) {
#define TABLE(row) _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(row)))
  const __m256i l0 = TABLE(t.lo[0]), l1 = TABLE(t.lo[1]), l2 = TABLE(t.lo[2]), l3 = TABLE(t.lo[3]);
  const __m256i h0 = TABLE(t.hi[0]), h1 = TABLE(t.hi[1]), h2 = TABLE(t.hi[2]), h3 = TABLE(t.hi[3]);
#undef TABLE
  for (std::size_t u = 0; u < n; u += kRegionUnit, src += 2 * kRegionUnit, dst += kRegionUnit) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 64));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 96));
    const __m256i rl = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(l0, a), _mm256_shuffle_epi8(l1, b)),
                                        _mm256_xor_si256(_mm256_shuffle_epi8(l2, c), _mm256_shuffle_epi8(l3, d)));
    const __m256i rh = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(h0, a), _mm256_shuffle_epi8(h1, b)),
                                        _mm256_xor_si256(_mm256_shuffle_epi8(h2, c), _mm256_shuffle_epi8(h3, d)));
    auto* dl = reinterpret_cast<__m256i*>(dst);
    auto* dh = reinterpret_cast<__m256i*>(dst + 32);
    _mm256_storeu_si256(dl, _mm256_xor_si256(_mm256_loadu_si256(dl), rl));
    _mm256_storeu_si256(dh, _mm256_xor_si256(_mm256_loadu_si256(dh), rh));
  }
}

// Even bytes to the first half, odd bytes to the second.
__attribute__((target("ssse3"))) void toSplitSsse3(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  const __m128i pick = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += kRegionUnit) {
    __m128i v[4];
    for (int i = 0; i < 4; ++i)
      v[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)), pick);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(v[0], v[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpacklo_epi64(v[2], v[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpackhi_epi64(v[0], v[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi64(v[2], v[3]));
  }
}

__attribute__((target("ssse3"))) void prepareSsse3(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  const __m128i pick = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  const __m128i mask = _mm_set1_epi8(0x0f);
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += 2 * kRegionUnit) {
    __m128i v[4];
    for (int i = 0; i < 4; ++i)
      v[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)), pick);
    const __m128i lo[2] = {_mm_unpacklo_epi64(v[0], v[1]), _mm_unpacklo_epi64(v[2], v[3])};
    const __m128i hi[2] = {_mm_unpackhi_epi64(v[0], v[1]), _mm_unpackhi_epi64(v[2], v[3])};
    for (int h = 0; h < 2; ++h) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * h), _mm_and_si128(lo[h], mask));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 + 16 * h), _mm_and_si128(_mm_srli_epi16(lo[h], 4), mask));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 64 + 16 * h), _mm_and_si128(hi[h], mask));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 96 + 16 * h), _mm_and_si128(_mm_srli_epi16(hi[h], 4), mask));
    }
  }
}

__attribute__((target("sse2"))) void fromSplitSse2(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += kRegionUnit) {
    const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i h0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    const __m128i h1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(l0, h0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(l0, h0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi8(l1, h1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi8(l1, h1));
  }
}
#endif

bool supported(Kernel k) {
  switch (k) {
    case Kernel::Portable:
      return true;
#ifdef VEXO_GF_X86
    case Kernel::Ssse3:
      return __builtin_cpu_supports("ssse3");
    case Kernel::Avx2:
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

Kernel best() {
  for (Kernel k : {Kernel::Avx2, Kernel::Ssse3})
    if (supported(k)) return k;
  return Kernel::Portable;
}

std::atomic<Kernel>& chosen() {
  static std::atomic<Kernel> k{best()};
  return k;
}

}  // namespace

namespace gf {

std::uint16_t exp(std::uint32_t n) { return tables().exp[n % kOrder]; }

const std::uint16_t* expTable() { return tables().exp.data(); }

const std::uint32_t* logTable() { return tables().log.data(); }

std::uint32_t log(std::uint16_t a) { return tables().log[a]; }

std::uint16_t mul(std::uint16_t a, std::uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + t.log[b]];
}

std::uint16_t pow(std::uint16_t a, std::uint32_t n) {
  if (n == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = tables();
  return t.exp[static_cast<std::uint32_t>((std::uint64_t{t.log[a]} * n) % kOrder)];
}

std::uint16_t inv(std::uint16_t a) {
  const Tables& t = tables();
  return t.exp[(kOrder - t.log[a]) % kOrder];
}

}  // namespace gf

std::uint32_t inputConstantLog(std::uint32_t n) { return tables().inputLogs.at(n); }

void makeTable(std::uint16_t c, MulTable& t) {
  for (int k = 0; k < 4; ++k) {
    for (std::uint16_t v = 0; v < 16; ++v) {
      const std::uint16_t p = gf::mul(c, static_cast<std::uint16_t>(v << (4 * k)));
      t.lo[k][v] = static_cast<std::uint8_t>(p);
      t.hi[k][v] = static_cast<std::uint8_t>(p >> 8);
    }
  }
}

void toSplit(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
#ifdef VEXO_GF_X86
  if (chosen().load(std::memory_order_relaxed) != Kernel::Portable) return toSplitSsse3(in, out, n);
#endif
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += kRegionUnit)
    for (int j = 0; j < 32; ++j) {
      out[j] = in[2 * j];
      out[32 + j] = in[2 * j + 1];
    }
}

void fromSplit(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
#ifdef VEXO_GF_X86
  if (chosen().load(std::memory_order_relaxed) != Kernel::Portable) return fromSplitSse2(in, out, n);
#endif
  for (std::size_t u = 0; u < n; u += kRegionUnit, in += kRegionUnit, out += kRegionUnit)
    for (int j = 0; j < 32; ++j) {
      out[2 * j] = in[j];
      out[2 * j + 1] = in[32 + j];
    }
}

void prepare(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
#ifdef VEXO_GF_X86
  if (chosen().load(std::memory_order_relaxed) != Kernel::Portable) return prepareSsse3(in, out, n);
#endif
  preparePortable(in, out, n);
}

void mulAdd(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, const MulTable& t) {
  switch (chosen().load(std::memory_order_relaxed)) {
#ifdef VEXO_GF_X86
    case Kernel::Avx2:
      return mulAddAvx2(dst, src, n, t);
    case Kernel::Ssse3:
      return mulAddSsse3(dst, src, n, t);
#endif
    default:
      return mulAddPortable(dst, src, n, t);
  }
}

Kernel kernel() { return chosen().load(); }

bool setKernel(Kernel k) {
  if (!supported(k)) return false;
  chosen().store(k);
  return true;
}

std::string kernelName(Kernel k) {
  switch (k) {
    case Kernel::Avx2:
      return "AVX2";
    case Kernel::Ssse3:
      return "SSSE3";
    default:
      return "portable";
  }
}

}  // namespace vexo::par2
