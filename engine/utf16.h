// UTF-8 and UTF-16, for the Windows programs: the engine, the windows and
// the command line keep text as UTF-8 and hand the system UTF-16.
#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

namespace vexo {

// The text in UTF-16; ill-formed bytes become U+FFFD.
std::wstring toUtf16(std::string_view utf8);
// The text in UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::wstring_view utf16);

}  // namespace vexo
#endif
