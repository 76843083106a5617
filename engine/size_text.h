// Piece sizes as the user writes them: the presets of the size box and
// free entries such as "650M", "1.5GiB", "25 MB" or "1457664".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexo {

// The largest piece size accepted: 2^40 bytes (1 TiB).
inline constexpr std::int64_t kMaxPieceSize = std::int64_t{1} << 40;

struct SizePreset {
  const char* text;  // as the size box lists it (UTF-8)
  std::int64_t bytes;
};

// The presets, in the order the size box lists them. "4GB (FAT32)" is the
// largest file FAT32 holds, one byte short of 4 GiB.
inline constexpr std::array<SizePreset, 7> kSizePresets{{
    {"10MB", 10'000'000},
    {"18MB (メール)", 18'000'000},  // 24.6 MB in base64 with its line breaks: under a 25 MB limit
    {"100MB", 100'000'000},
    {"650MB (CD)", 650'000'000},
    {"700MB (CD)", 700'000'000},
    {"4GB (FAT32)", 4'294'967'295},
    {"4.7GB (DVD)", 4'700'000'000},
}};

// The floppy sizes by the captions of the window's option buttons: an entry
// that spells one of them means that exact size, not 1.44 million bytes.
inline constexpr std::array<SizePreset, 2> kFloppySizes{{
    {"1.44M(DOS/V)", 1'457'664},
    {"1.2M(PC98)", 1'250'304},
}};

// The byte count an entry stands for, or nothing when it is not a size of
// 1 to kMaxPieceSize bytes.
//
// A floppy caption or a preset's text gives its own size, whatever the
// letter case and blanks ("4gb(fat32)" is the preset, 4,294,967,295 bytes). Otherwise the entry is
// a number followed by an optional unit: none or B for bytes, K/KB, M/MB,
// G/GB, T/TB for powers of 1,000, KiB/MiB/GiB/TiB for powers of 1,024 (any
// letter case). The number is decimal digits with at most one decimal point;
// its whole part may group digits by three with "," or "_" ("1,457,664";
// "1,5" is refused rather than read as 15). Blanks around the parts,
// full-width digits and letters, and a trailing note in parentheses ("(CD)")
// are allowed. The size must come to a whole number of bytes.
std::optional<std::int64_t> parsePieceSize(std::string_view text);

}  // namespace vexo
