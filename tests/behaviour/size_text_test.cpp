// Sizes as the user types them into the size box: the presets, units,
// separators, full-width input and the limits.
#include "size_text.h"

#include <gtest/gtest.h>

namespace vexo {
namespace {

struct SizeCase {
  const char* text;
  std::int64_t bytes;  // 0: refused
};

TEST(PieceSizeText, PresetsAndEntries) {
  const SizeCase cases[] = {
      // The presets, by their text, whatever the case and blanks.
      {"10MB", 10'000'000},
      {"25MB (メール)", 25'000'000},
      {"100MB", 100'000'000},
      {"650MB (CD)", 650'000'000},
      {"700MB (CD)", 700'000'000},
      {"4GB (FAT32)", 4'294'967'295},
      {"4.7GB (DVD)", 4'700'000'000},
      {"4gb(fat32)", 4'294'967'295},
      {" ４ＧＢ　(ＦＡＴ３２) ", 4'294'967'295},
      {"4GB (FAT32 no longer)", 4'000'000'000},  // any other note is only a note
      // Plain bytes, with separators and blanks.
      {"1457664", 1'457'664},
      {"1,457,664", 1'457'664},
      {"1_000_000", 1'000'000},
      {" 1457664 ", 1'457'664},
      {"1", 1},
      {"30000B", 30'000},
      // Powers of 1,000 and of 1,024, any case, blank before the unit.
      {"650M", 650'000'000},
      {"25 mb", 25'000'000},
      {"4g", 4'000'000'000},
      {"1.44M", 1'440'000},
      {"1k", 1'000},
      {"0.5K", 500},
      {".5k", 500},
      {"1,000.5K", 1'000'500},
      {"1KiB", 1'024},
      {"1.5GiB", 1'610'612'736},
      {"2 MiB", 2'097'152},
      {"0.25TiB", std::int64_t{1} << 38},
      {"1TiB", std::int64_t{1} << 40},
      {"1099511627776", std::int64_t{1} << 40},
      {"1.099511627776T", 1'099'511'627'776},
      // Full-width forms as a Japanese input method types them.
      {"６５０ＭＢ", 650'000'000},
      {"１００　ｍｂ", 100'000'000},
      // Refused: nothing, zero, not a number, unknown unit, a fraction of a
      // byte, beyond 2^40, negative, two points, separators out of place.
      {"", 0},
      {"   ", 0},
      {"0", 0},
      {"0K", 0},
      {"0.0001K", 0},
      {"abc", 0},
      {"M", 0},
      {"10 XB", 0},
      {"1e6", 0},
      {"1.5", 0},
      {"1.0000001K", 0},
      {"1099511627777", 0},
      {"1.1TiB", 0},
      {"2TB", 0},
      {"-5M", 0},
      {"+5M", 0},
      {"1.2.3M", 0},
      {",100", 0},
      {"100,", 0},
      {"1,5M", 0},  // not 15 MB
      {"1457,664", 0},
      {"1,45,664", 0},
      {"1,0000", 0},
      {"1.000,5K", 0},
      {"10MB)", 0},
      {"10MB (", 0},
      {"99999999999999999999999", 0},
      {"1.99999999999999999999999G", 0},
  };
  for (const auto& c : cases) {
    const auto got = parsePieceSize(c.text);
    if (c.bytes == 0)
      EXPECT_FALSE(got.has_value()) << '"' << c.text << "\" gave " << got.value_or(-1);
    else
      EXPECT_EQ(got.value_or(-1), c.bytes) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace vexo
