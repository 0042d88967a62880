// UTF-8/UTF-16 conversion against iconv as an independent oracle over every scalar value, the
// malformed sequences that must be refused (or replaced), and the case folding of names.
#include "platform/text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace kolvar::platform {
namespace {

// iconv from UTF-32LE code units to UTF-8 (or UTF-16LE), the host's own converter.
std::string IconvFromUtf32(const std::u32string& in, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-32LE");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string input(reinterpret_cast<const char*>(in.data()), in.size() * 4);
  std::string output(in.size() * 4 + 16, '\0');
  char* src = input.data();
  size_t src_left = input.size();
  char* dst = output.data();
  size_t dst_left = output.size();
  EXPECT_NE(iconv(cd, &src, &src_left, &dst, &dst_left), static_cast<size_t>(-1));
  iconv_close(cd);
  output.resize(output.size() - dst_left);
  return output;
}

std::u32string AllScalarValues() {
  std::u32string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) all.push_back(cp);
  }
  return all;
}

TEST(TextTest, EveryScalarValueConvertsAsIconvDoesAndBack) {
  const std::u32string all = AllScalarValues();
  const std::string utf8 = IconvFromUtf32(all, "UTF-8");
  const std::string utf16_bytes = IconvFromUtf32(all, "UTF-16LE");
  std::u16string utf16(utf16_bytes.size() / 2, u'\0');
  memcpy(utf16.data(), utf16_bytes.data(), utf16_bytes.size());

  std::u16string converted;
  ASSERT_TRUE(Utf8ToUtf16(utf8, &converted));
  EXPECT_TRUE(converted == utf16);
  EXPECT_TRUE(Utf8ToUtf16Lossy(utf8) == utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_TRUE(IsValidUtf16(utf16));
}

struct Malformed {
  const char* name;
  std::string bytes;
  std::u16string lossy;  // one U+FFFD per maximal invalid subsequence
};

TEST(TextTest, MalformedUtf8IsRefusedAndReplacedPerMaximalSubpart) {
  const Malformed cases[] = {
      {"overlong NUL", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"F5 lead", "\xF5\x80", u"\uFFFD\uFFFD"},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"cut three-byte", "a\xE2\x82", u"a\uFFFD"},
      {"cut then ASCII", "\xE2\x82z", u"\uFFFDz"},
      {"cut four-byte", "\xF0\x9F\x98", u"\uFFFD"},
      {"FE and FF", "\xFE\xFF", u"\uFFFD\uFFFD"},
      {"Latin-1 byte", "caf\xE9", u"caf\uFFFD"},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string out;
    EXPECT_FALSE(Utf8ToUtf16(c.bytes, &out));
    EXPECT_TRUE(Utf8ToUtf16Lossy(c.bytes) == c.lossy);
  }
}

TEST(TextTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  const struct {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"a\xD800z", "a\xEF\xBF\xBDz"},       {u"\xDC00", "\xEF\xBF\xBD"},
      {u"\xD800", "\xEF\xBF\xBD"},           {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
    EXPECT_EQ(IsValidUtf16(c.in), c.in == u"\xD83D\xDE00");
  }
}

TEST(TextTest, BoundedLengthStopsAtNulOrCapacity) {
  const char16_t field[4] = {u'a', u'b', u'\0', u'c'};
  EXPECT_EQ(BoundedLength(field, 4), 2u);
  const char16_t full[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(BoundedLength(full, 3), 3u);
  EXPECT_EQ(BoundedLength(full, 0), 0u);
}

// Every folding agrees with the C library's towlower in a UTF-8 locale, and the letters of the
// covered alphabets are all folded.
TEST(TextTest, FoldCaseAgreesWithTowlowerOnCoveredAlphabets) {
  ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  for (char32_t c = 0; c < 0x500; ++c) {
    const char16_t folded = FoldCase(static_cast<char16_t>(c));
    if (folded != c) {
      EXPECT_EQ(static_cast<wint_t>(folded), towlower(static_cast<wint_t>(c)))
          << std::hex << static_cast<uint32_t>(c);
    }
  }
  for (char32_t c : {U'A', U'Z', U'\u00C0', U'\u00DE', U'\u0100', U'\u0139', U'\u014A', U'\u0178',
                     U'\u0179', U'\u0391', U'\u03A9', U'\u0400', U'\u0410', U'\u042F'}) {
    EXPECT_EQ(static_cast<wint_t>(FoldCase(static_cast<char16_t>(c))),
              towlower(static_cast<wint_t>(c)))
        << std::hex << static_cast<uint32_t>(c);
  }
  setlocale(LC_CTYPE, "C");
}

TEST(TextTest, CompareNoCaseOrdersAsFoldedLowerCase) {
  EXPECT_EQ(CompareNoCase(u"KVVirusDB.dat", u"kvvirusdb.DAT"), 0);
  EXPECT_TRUE(EqualsNoCase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"));
  EXPECT_FALSE(EqualsNoCase(u"abc", u"abcd"));
  EXPECT_LT(CompareNoCase(u"abc", u"ABCD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  // Folding to lower case puts "_" (0x5F) before letters, as the device's comparison does.
  EXPECT_LT(CompareNoCase(u"_x", u"Ax"), 0);
}

}  // namespace
}  // namespace kolvar::platform
