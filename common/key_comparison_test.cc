// The library's key comparisons, case by case.
#include "common/key_comparison.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvar {
namespace {

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

std::u16string TextKey(std::u16string_view text, size_t chars) {
  std::u16string key(chars, u'\0');
  key.replace(0, std::min(text.size(), chars), text.substr(0, std::min(text.size(), chars)));
  return key;
}

TEST(KeyComparisonTest, TextComparesWithoutRegardToCase) {
  struct Case {
    std::u16string_view a, b;
    int sign;
  };
  const Case cases[] = {
      {u"InstallDir", u"INSTALLDIR", 0},
      {u"abc", u"abd", -1},
      {u"ABD", u"abc", 1},
      {u"ab", u"abc", -1},                      // a shorter text sorts first
      {u"\u00C9t\u00E9", u"\u00E9T\u00C9", 0},  // Latin-1 letters
      {u"\u0416", u"\u0436", 0},                // Cyrillic
      {u"\u03A3", u"\u03C3", 0},                // Greek
      {u"_", u"a", -1},                         // "_" stays below the lower-case letters
      {u"", u"", 0},
  };
  for (const Case& c : cases) {
    const std::u16string a = TextKey(c.a, 16);
    const std::u16string b = TextKey(c.b, 16);
    EXPECT_EQ(Sign(CompareTextNoCase(a.data(), b.data(), 32)), c.sign);
    EXPECT_EQ(Sign(CompareTextNoCase(b.data(), a.data(), 32)), -c.sign);
  }
  // A text that fills the key without a NUL is compared up to the key length only.
  const std::u16string a = u"abcdX";
  const std::u16string b = u"ABCDY";
  EXPECT_EQ(CompareTextNoCase(a.data(), b.data(), 8), 0);
  EXPECT_NE(CompareTextNoCase(a.data(), b.data(), 10), 0);
}

TEST(KeyComparisonTest, IntegersCompareAsUnsignedLittleEndian) {
  struct Case {
    unsigned char a[8], b[8];
    int sign32, sign64;
  };
  const Case cases[] = {
      {{1, 0, 0, 0}, {2, 0, 0, 0}, -1, -1},
      {{0, 0, 0, 1}, {0xFF, 0xFF, 0xFF, 0}, 1, 1},        // high byte last
      {{0, 0, 0, 0x80}, {0xFF, 0xFF, 0xFF, 0x7F}, 1, 1},  // unsigned, not signed
      {{5, 0, 0, 0, 1}, {5, 0, 0, 0, 2}, 0, -1},          // 32-bit reads only four bytes
      {{0, 0, 0, 0, 0, 0, 0, 0x80}, {0, 0, 0, 0, 0, 0, 0, 0x7F}, 0, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CompareUint32Sort(c.a, c.b, 4)), c.sign32);
    EXPECT_EQ(Sign(CompareUint32Search(c.a, c.b, 4)), c.sign32);
    EXPECT_EQ(Sign(CompareUint64(c.a, c.b, 8)), c.sign64);
    EXPECT_EQ(Sign(CompareUint64(c.b, c.a, 8)), -c.sign64);
  }
}

TEST(KeyComparisonTest, BytesCompareAsUnsigned) {
  const unsigned char a[] = {0x01, 0x80};
  const unsigned char b[] = {0x01, 0x7F};
  EXPECT_GT(CompareKeyBytes(a, b, 2), 0);
  EXPECT_EQ(CompareKeyBytes(a, b, 1), 0);
}

}  // namespace
}  // namespace kolvar
