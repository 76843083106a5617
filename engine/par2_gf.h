// Arithmetic in GF(2^16) with the generator polynomial x^16 + x^12 + x^3 +
// x + 1 (0x1100B), and multiply-accumulate over whole regions of 16-bit
// words, the work recovery data is made of.
//
// Sums are held in a split layout: every 64 bytes of a region are 32
// words, their low bytes first and then their high bytes. toSplit() and
// fromSplit() convert from and to the little-endian words of the files.
// What is multiplied is prepared once into nibbles: every 32 words become
// 128 bytes, four runs of 32 holding the low and high nibble of the low
// bytes, then those of the high bytes, so that the multiplications need no
// masks and shifts however many constants a region is multiplied by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexo::par2 {

namespace gf {

std::uint16_t mul(std::uint16_t a, std::uint16_t b);
// a^n (0^0 is 1).
std::uint16_t pow(std::uint16_t a, std::uint32_t n);
// The inverse of a nonzero a.
std::uint16_t inv(std::uint16_t a);
// 2^n.
std::uint16_t exp(std::uint32_t n);
// n with 2^n = a, for a nonzero a (0 <= n < 65535).
std::uint32_t log(std::uint16_t a);

// The tables behind them, for inner loops: exp has 2 * 65535 entries
// (2^n for n < 131070), so that the sum of two logarithms needs no reduction.
const std::uint16_t* expTable();
const std::uint32_t* logTable();

}  // namespace gf

// The constants input blocks are weighted with: the n-th is 2^l where l is
// the n-th integer (from 1) divisible by none of 3, 5, 17 and 257. The
// logarithm is returned; there are 32768 of them.
std::uint32_t inputConstantLog(std::uint32_t n);

// Products of one constant with every nibble of a word, as byte tables for
// shuffles: lo[k][v] and hi[k][v] are the low and high byte of c * (v << 4k).
struct MulTable {
  alignas(16) std::uint8_t lo[4][16];
  alignas(16) std::uint8_t hi[4][16];
};
void makeTable(std::uint16_t c, MulTable& t);

// Region length unit: regions are whole multiples of this.
inline constexpr std::size_t kRegionUnit = 64;

// Converts n bytes (a multiple of kRegionUnit) of little-endian words to the
// split layout and back.
void toSplit(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
void fromSplit(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
// Prepares n bytes (a multiple of kRegionUnit) of little-endian words as
// 2 * n bytes of nibbles.
void prepare(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

// dst += c * src over n bytes (a multiple of kRegionUnit) of dst in the
// split layout, src prepared (2 * n bytes), with t = makeTable(c).
void mulAdd(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, const MulTable& t);

// The ways mulAdd can run; the fastest the processor has is chosen at the
// first call. Tests force each in turn.
enum class Kernel { Portable, Ssse3, Avx2 };
Kernel kernel();
// Chooses a kernel; false (and no change) when the processor lacks it.
bool setKernel(Kernel k);
std::string kernelName(Kernel k);

}  // namespace vexo::par2
