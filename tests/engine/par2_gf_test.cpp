// The arithmetic recovery data is made of: MD5, GF(2^16) with its
// generator, the input constants, and the region kernels.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "par2_gf.h"
#include "par2_md5.h"

using namespace vexo::par2;

TEST(Par2Md5, KnownDigestsWholeAndInPieces) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
      {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
      {std::string(64, 'x'), "c1bb4f81d892b2d57947682aeb252456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 20));
    const std::string whole = hex(md5(c.input.data(), c.input.size()));
    EXPECT_EQ(whole, c.digest);
    // Fed in uneven pieces, the digest is the same.
    for (std::size_t step : {1u, 7u, 63u, 65u}) {
      Md5 m;
      for (std::size_t at = 0; at < c.input.size(); at += step)
        m.update(c.input.data() + at, std::min(step, c.input.size() - at));
      EXPECT_EQ(hex(m.finish()), whole) << step;
    }
    // Two digests fed at once, one of them ahead by whole blocks or not.
    for (const std::size_t ahead : {0u, 64u, 3u}) {
      const std::string prefix(ahead, 'p');
      Md5 x, y;
      x.update(prefix.data(), prefix.size());
      Md5::updateBoth(x, y, c.input.data(), c.input.size());
      EXPECT_EQ(hex(y.finish()), whole) << ahead;
      EXPECT_EQ(x.finish(), md5((prefix + c.input).data(), ahead + c.input.size())) << ahead;
    }
  }
}

TEST(Par2Gf, GeneratorAndInputConstants) {
  // x^16 reduces by x^16 + x^12 + x^3 + x + 1.
  EXPECT_EQ(gf::exp(16), 0x100B);
  EXPECT_EQ(gf::mul(0x8000, 2), 0x100B);
  EXPECT_EQ(gf::exp(65535), 1);
  EXPECT_EQ(gf::log(0x100B), 16u);
  // The first input constants: 2^n for n = 1, 2, 4, 7, 8, 11, 13, 14, 16, 19
  // (no n divisible by 3, 5, 17 or 257).
  const std::uint16_t constants[] = {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856};
  for (std::uint32_t n = 0; n < 10; ++n) EXPECT_EQ(gf::exp(inputConstantLog(n)), constants[n]) << n;
  EXPECT_EQ(inputConstantLog(32767), 65534u);  // the last of the 32768
  // Every constant generates the whole group: its powers up to 65534 differ.
  EXPECT_NE(gf::pow(gf::exp(inputConstantLog(100)), 65535 / 3), 1);
}

TEST(Par2Gf, FieldLaws) {
  std::mt19937 rng(5);
  for (std::uint32_t a = 1; a < 65536; ++a) ASSERT_EQ(gf::mul(static_cast<std::uint16_t>(a), gf::inv(static_cast<std::uint16_t>(a))), 1) << a;
  for (int i = 0; i < 10000; ++i) {
    const auto a = static_cast<std::uint16_t>(rng()), b = static_cast<std::uint16_t>(rng()),
               c = static_cast<std::uint16_t>(rng());
    ASSERT_EQ(gf::mul(a, b ^ c), gf::mul(a, b) ^ gf::mul(a, c));
    ASSERT_EQ(gf::mul(gf::mul(a, b), c), gf::mul(a, gf::mul(b, c)));
    const std::uint32_t n = rng() % 70000;
    std::uint16_t p = 1;
    if (i < 20)
      for (std::uint32_t k = 0; k < n; ++k) p = gf::mul(p, a);
    if (i < 20) {
      ASSERT_EQ(gf::pow(a, n), p);
    }
  }
  EXPECT_EQ(gf::mul(0, 1234), 0);
  EXPECT_EQ(gf::pow(0, 0), 1);
  EXPECT_EQ(gf::pow(0, 3), 0);
}

// Every kernel the processor has gives, word by word, the field product.
TEST(Par2Gf, RegionKernelsAgreeWithTheFieldProduct) {
  const Kernel before = kernel();
  std::mt19937 rng(9);
  const std::size_t n = 64 * 37;
  std::vector<std::uint8_t> words(n), acc(n);
  for (auto& b : words) b = static_cast<std::uint8_t>(rng());
  for (auto& b : acc) b = static_cast<std::uint8_t>(rng());
  for (const Kernel k : {Kernel::Portable, Kernel::Ssse3, Kernel::Avx2}) {
    if (!setKernel(k)) continue;
    SCOPED_TRACE(kernelName(k));
    for (const std::uint16_t c : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{2}, std::uint16_t{0x100B},
                                  std::uint16_t{0xFFFF}, static_cast<std::uint16_t>(rng())}) {
      std::vector<std::uint8_t> in(2 * n), dst(n), out(n);
      prepare(words.data(), in.data(), n);
      toSplit(acc.data(), dst.data(), n);
      MulTable t;
      makeTable(c, t);
      mulAdd(dst.data(), in.data(), n, t);
      fromSplit(dst.data(), out.data(), n);
      for (std::size_t i = 0; i < n; i += 2) {
        const auto w = static_cast<std::uint16_t>(words[i] | words[i + 1] << 8);
        const auto a = static_cast<std::uint16_t>(acc[i] | acc[i + 1] << 8);
        const auto r = static_cast<std::uint16_t>(out[i] | out[i + 1] << 8);
        ASSERT_EQ(r, a ^ gf::mul(c, w)) << "word " << i / 2 << " c " << c;
      }
    }
    // The layout round trip alone.
    std::vector<std::uint8_t> split(n), back(n);
    toSplit(words.data(), split.data(), n);
    EXPECT_EQ(split[0], words[0]);
    EXPECT_EQ(split[32], words[1]);
    fromSplit(split.data(), back.data(), n);
    EXPECT_EQ(back, words);
  }
  setKernel(before);
}
