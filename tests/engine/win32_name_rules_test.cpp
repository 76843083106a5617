// The names Windows cannot hold as given, and why (a plain function, so
// it is tested on every system).
#include <gtest/gtest.h>

#include <string>

#include "name_rules.h"

namespace vexo {
namespace {

TEST(WindowsNameRules, RefusedFormsAndTheirReasons) {
  const std::string trailing = "名前の最後のピリオドや空白は Windows では取り除かれ，別のファイルを指します";
  const std::string stream = "「:」は Windows ではファイルの別のデータ（ストリーム）を指します";
  const std::string character = "Windows ではファイル名に使えない文字が含まれています";
  auto device = [](const std::string& d) { return "「" + d + "」は Windows では装置の名前です"; };
  const struct {
    std::string name;
    std::string reason;  // "" when the name is fine
  } cases[] = {
      {"report.doc", ""},
      {"報告書.doc.1", ""},
      {"notes.", trailing},
      {"notes..", trailing},
      {"report.doc ", trailing},
      {"report.doc:secret", stream},
      {"C:report", stream},
      {"a<b", character},
      {"a|b", character},
      {"a?b", character},
      {"a*b", character},
      {"a\"b", character},
      {"a\\b", character},
      {"a/b", character},
      {std::string("a\x01" "b"), character},
      {"con", device("con")},
      {"CON.txt", device("CON")},
      {"nul.tar.gz", device("nul")},
      {"Aux", device("Aux")},
      {"prn.1", device("prn")},
      {"com1.doc", device("com1")},
      {"LPT9", device("LPT9")},
      {"com1 .txt", device("com1")},  // blanks before the dot are read past
      {"COM\xC2\xB9.txt", device("COM\xC2\xB9")},
      {"conin$.log", device("conin$")},
      // Near misses are ordinary names.
      {"com0", ""},
      {"com10", ""},
      {"lpt", ""},
      {"console", ""},
      {"nul_", ""},
      {"x.con", ""},
      {"report.crc", ""},
      {"a .b", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(windowsNameProblem(c.name), c.reason) << c.name;
}

}  // namespace
}  // namespace vexo
