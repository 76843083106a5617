// The settings rules on a store in memory: which stored texts are usable,
// the text a position is written as, the order of the writes, and a store
// that cannot be written.
#include <gtest/gtest.h>

#include "fakes.h"

namespace vexo {

// Found by argument-dependent lookup, so in the namespace of the type.
bool operator==(const StoredSettings& a, const StoredSettings& b) {
  return a.mainLeft == b.mainLeft && a.mainTop == b.mainTop && a.bit16 == b.bit16 &&
         a.size == b.size && a.customSize == b.customSize && a.digits3 == b.digits3;
}

void PrintTo(const StoredSettings& s, std::ostream* os) {
  *os << "{" << s.mainLeft << ", " << s.mainTop << ", " << s.bit16 << ", " << s.size << ", \""
      << s.customSize << "\", " << s.digits3 << "}";
}

}  // namespace vexo

namespace vexo::test {
namespace {

TEST(SettingsRules, StoredTextsAreUsedOrTakenAsAbsent) {
  struct Case {
    const char* key;
    const char* text;
    double left, top;
    int bit16, size;
  };
  // One key at a time holds the text; the others hold good values.
  const Case cases[] = {
      // Unusable: the key's default.
      {"Settings/MainLeft", "abc", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "1,5", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "0x10", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "nan", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "-inf", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "1e40", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "251658240", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "1e", 1000, 3000, 1, 1},
      {"Settings/MainLeft", ".", 1000, 3000, 1, 1},
      {"Settings/MainTop", "12px", 2000, 1000, 1, 1},
      {"Settings/MainTop", "\xef\xbc\x91\xef\xbc\x92", 2000, 1000, 1, 1},  // full-width digits
      {"Checks/Bit16", "3", 2000, 3000, 0, 1},
      {"Checks/Bit16", "-1", 2000, 3000, 0, 1},
      {"Checks/Bit16", "1.0", 2000, 3000, 0, 1},
      {"Checks/Bit16", "65537", 2000, 3000, 0, 1},
      {"Checks/Bit16", "true", 2000, 3000, 0, 1},
      {"Checks/Bit16", "++1", 2000, 3000, 0, 1},
      {"Checks/Size", "2", 2000, 3000, 1, 0},  // no size in the box to use
      {"Checks/Size", "3", 2000, 3000, 1, 0},
      {"Checks/Size", "", 2000, 3000, 1, 0},
      {"Checks/Size", "0, 1", 2000, 3000, 1, 0},
      // Usable, though not as this program writes them.
      {"Settings/MainLeft", " 300 ", 300, 3000, 1, 1},
      {"Settings/MainLeft", "1e3", 1000, 3000, 1, 1},
      {"Settings/MainLeft", "+7.5", 7.5, 3000, 1, 1},
      {"Settings/MainLeft", "0.1", 0.1f, 3000, 1, 1},
      {"Settings/MainLeft", "-251658225", -251658225.0f, 3000, 1, 1},
      {"Checks/Bit16", "+2", 2000, 3000, 2, 1},
      {"Checks/Bit16", "\t0\n", 2000, 3000, 0, 1},
      {"Checks/Size", "0", 2000, 3000, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=\"" + c.text + "\"");
    Events events;
    FakeSettings store(events);
    store.values = {{"Settings/MainLeft", "2000"}, {"Settings/MainTop", "3000"},
                    {"Checks/Bit16", "1"}, {"Checks/Size", "1"}};
    store.values[c.key] = c.text;
    EXPECT_EQ(loadSettings(store), (StoredSettings{c.left, c.top, c.bit16, c.size, "", 0, "", 0}));
  }
  Events events;
  FakeSettings empty(events);
  EXPECT_EQ(loadSettings(empty), (StoredSettings{1000, 1000, 0, 0, "", 0, "", 0}));
}

TEST(SettingsRules, NumberTextIsThePlainConversion) {
  const std::pair<double, const char*> cases[] = {
      {1000, "1000"},       {1234.5, "1234.5"},        {-150, "-150"},
      {0.1, "0.1"},         {-0.0, "0"},               {16777216, "16777216"},
      {123456789, "123456792"},  // single precision
      {2985.00001, "2985"}, {-251658225, "-251658224"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(numberText(value), text) << value;
}

TEST(SettingsRules, SaveWritesInOrderAndReportsFailure) {
  struct Case {
    const char* name;
    bool minimised, failWrites, failFlush, ok;
    Events events;
  };
  const Events all{"write Settings/MainLeft=2985", "write Settings/MainTop=-150.5",
                   "write Checks/Bit16=2", "write Checks/Size=1", "write Checks/CustomSize=650M",
                   "write Checks/Digits3=1", "flush"};
  const Case cases[] = {
      {"written", false, false, false, true, all},
      {"minimised", true, false, false, true, Events(all.begin() + 2, all.end())},
      {"writes fail", false, true, false, false, all},
      {"flush fails", false, false, true, false, all},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Events events;
    FakeSettings store(events);
    store.failWrites = c.failWrites;
    store.failFlush = c.failFlush;
    EXPECT_EQ(saveSettings(store, {2985, -150.5, 2, 7, "650M", 5, "", 0}, c.minimised), c.ok);
    EXPECT_EQ(events, c.events);
  }
}

TEST(SettingsRules, SizeBoxAndThreeDigitSwitch) {
  // Stored "Checks" values, and what they read as: Size, CustomSize, Digits3.
  const std::tuple<std::map<std::string, std::string>, int, std::string, int> cases[] = {
      {{{"Bit16", "1"}, {"Size", "1"}}, 1, "", 0},  // from before the size box
      {{{"Size", "2"}, {"CustomSize", " 1.5 GiB "}, {"Digits3", "1"}}, 2, " 1.5 GiB ", 1},
      {{{"Size", "2"}}, 0, "", 0},
      {{{"Size", "2"}, {"CustomSize", "1,5 GiB"}}, 0, "", 0},
      {{{"Size", "2"}, {"CustomSize", "2TB"}}, 0, "", 0},
      {{{"Size", "1"}, {"CustomSize", "25M"}, {"Digits3", "2"}}, 1, "25M", 0},
      {{{"Digits3", " 1 "}}, 0, "", 1}};
  for (const auto& [stored, size, customSize, digits3] : cases) {
    Events events;
    FakeSettings store(events);
    for (const auto& [key, text] : stored) store.values["Checks/" + key] = text;
    const StoredSettings got = loadSettings(store);
    EXPECT_EQ(got.size, size) << customSize;
    EXPECT_EQ(got.customSize, customSize);
    EXPECT_EQ(got.digits3, digits3) << customSize;
  }
  // What is saved reads back the same.
  Events events;
  FakeSettings store(events);
  const StoredSettings saved{15, 30, 1, 2, "25MB (メール)", 1, "", 0};
  ASSERT_TRUE(saveSettings(store, saved, false));
  EXPECT_EQ(loadSettings(store), saved);
}

}  // namespace
}  // namespace vexo::test
