// Sizes as the user types them into the size box: the presets, units,
// separators, full-width input and the limits.
#include "size_text.h"

#include <gtest/gtest.h>

namespace vexo {
namespace {

TEST(PieceSizeText, PresetsEntriesAndRefusals) {
  constexpr std::int64_t kRefused = 0;
  const std::pair<const char*, std::int64_t> cases[] = {
      // The presets, whatever the case and blanks; any other note is a note.
      {"18MB (メール)", 18'000'000}, {"25MB (メール)", 25'000'000}, {"650MB (CD)", 650'000'000}, {"4GB (FAT32)", 4'294'967'295},
      {"4.7GB (DVD)", 4'700'000'000}, {" ４ｇｂ　(ＦＡＴ３２) ", 4'294'967'295},
      {"4GB (FAT16)", 4'000'000'000},
      // The floppy captions by their exact sizes; another note is a note.
      {"1.44M(DOS/V)", 1'457'664}, {"1.44m (dos/v)", 1'457'664}, {"1.2M(PC98)", 1'250'304},
      {"1.44M(2HD)", 1'440'000},
      // Bytes, powers of 1,000 and of 1,024, separators, blanks, full width.
      {"1", 1}, {"1,457,664", 1'457'664}, {"1_000_000", 1'000'000}, {" 30000B ", 30'000},
      {"25 mb", 25'000'000}, {"1.44M", 1'440'000}, {".5k", 500}, {"1,000.5K", 1'000'500},
      {"1KiB", 1'024}, {"1.5GiB", 1'610'612'736}, {"0.25TiB", std::int64_t{1} << 38},
      {"1TiB", std::int64_t{1} << 40}, {"1.099511627776T", 1'099'511'627'776},
      {"６５０ＭＢ", 650'000'000},
      // Refused: nothing, zero, no number, unknown unit, a fraction of a byte,
      // beyond 2^40, a sign, separators out of place, unbalanced notes.
      {"", kRefused}, {" ", kRefused}, {"0", kRefused}, {"0K", kRefused}, {"M", kRefused},
      {"abc", kRefused}, {"10 XB", kRefused}, {"1e6", kRefused}, {"1.5", kRefused},
      {"1.0000001K", kRefused}, {"1099511627777", kRefused}, {"1.1TiB", kRefused},
      {"2TB", kRefused}, {"-5M", kRefused}, {"+5M", kRefused}, {"1.2.3M", kRefused},
      {",100", kRefused}, {"100,", kRefused}, {"1,5M", kRefused}, {"1457,664", kRefused},
      {"1,45,664", kRefused}, {"1.000,5K", kRefused}, {"10MB)", kRefused}, {"10MB (", kRefused},
      {"99999999999999999999999", kRefused}, {"1.99999999999999999999999G", kRefused}};
  for (const auto& [text, bytes] : cases) {
    const auto got = parsePieceSize(text);
    EXPECT_EQ(got.value_or(kRefused), bytes) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace vexo
