// UTF-8/UTF-16 conversion against iconv as an independent oracle over every scalar value, the
// malformed sequences that must be refused (or replaced), and the case folding of names.
#include "platform/text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cstring>
#include <cwctype>
#include <random>
#include <string>
#include <unordered_map>
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

// The mapping between host names and device names, case by case: the device name, and how each
// side is shown to people.
TEST(TextTest, HostNamesMapToDeviceNamesAndBack) {
  const struct {
    std::string host;
    std::u16string device;
    std::string shown_device;  // ShownDeviceText(device)
    std::string shown_host;    // ShownHostText(host)
  } cases[] = {
      {"plain.com", u"plain.com", "plain.com", "plain.com"},
      {"caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80", u"caf\u00E9 \u20AC\U0001F600",
       "caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"bad\xFF\xFEname.com", u"bad\xDCFF\xDCFEname.com", "bad\\xFF\\xFEname.com",
       "bad\\xFF\\xFEname.com"},
      {"back\\slash.com", u"back\xF05Cslash.com", "back\\x5Cslash.com", "back\\x5Cslash.com"},
      {"\\\\", u"\xF05C\xF05C", "\\x5C\\x5C", "\\x5C\\x5C"},
      // A real U+F05C, whose place "\" takes, goes as its bytes.
      {"priv\xEF\x81\x9C.com", u"priv\xDCEF\xDC81\xDC9C.com", "priv\\xEF\\x81\\x9C.com",
       "priv\xEF\x81\x9C.com"},
      {"\xEF\x81\x9B", u"\xF05B", "\xEF\x81\x9B", "\xEF\x81\x9B"},  // its neighbour is text
      // The device's wildcards are no part of a device name either, and are shown as they are.
      {"star*name?.com", u"star\xF02Aname\xF03F.com", "star*name?.com", "star*name?.com"},
      {"\xEF\x80\xAA\xEF\x80\xBF", u"\xDCEF\xDC80\xDCAA\xDCEF\xDC80\xDCBF",
       "\\xEF\\x80\\xAA\\xEF\\x80\\xBF", "\xEF\x80\xAA\xEF\x80\xBF"},
      // A real lone surrogate cannot be spelt in UTF-8: its encoding is invalid bytes.
      {"\xED\xB3\xBF", u"\xDCED\xDCB3\xDCBF", "\\xED\\xB3\\xBF", "\\xED\\xB3\\xBF"},
      {"\xC0\xAF", u"\xDCC0\xDCAF", "\\xC0\\xAF", "\\xC0\\xAF"},  // overlong "/"
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80", "\\xF4\\x90\\x80\\x80",
       "\\xF4\\x90\\x80\\x80"},  // above U+10FFFF
      {"cut\xE2\x82", u"cut\xDCE2\xDC82", "cut\\xE2\\x82", "cut\\xE2\\x82"},
      {"\xC3(", u"\xDCC3(", "\\xC3(", "\\xC3("},
      {"\x80\xBF", u"\xDC80\xDCBF", "\\x80\\xBF", "\\x80\\xBF"},
      {"\\\xFF\xEF\x81\x9C\\", u"\xF05C\xDCFF\xDCEF\xDC81\xDC9C\xF05C",
       "\\x5C\\xFF\\xEF\\x81\\x9C\\x5C", "\\x5C\\xFF\xEF\x81\x9C\\x5C"},
      // Control characters move no cursor: C0, DEL and C1 are shown as bytes.
      {"\x1B[2Jx\x7F\xC2\x9B", u"\x1B[2Jx\x7F\x9B", "\\x1B[2Jx\\x7F\\xC2\\x9B",
       "\\x1B[2Jx\\x7F\\xC2\\x9B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown_host);
    EXPECT_EQ(DeviceNameFromHost(c.host), c.device);
    std::string host;
    EXPECT_TRUE(HostNameFromDevice(c.device, &host));
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(ShownDeviceText(c.device), c.shown_device);
    EXPECT_EQ(ShownHostText(c.host), c.shown_host);
  }
}

// Device names that no host name maps to: surrogates that carry no byte, characters no host name
// holds, and second spellings of names that map without escapes.
TEST(TextTest, DeviceNamesOfNoHostNameAreRefused) {
  const struct {
    std::u16string device;
    std::string host;  // what *host_name holds anyway, for messages
  } cases[] = {
      {u"a\xD800", "a\xEF\xBF\xBD"},                         // a lone high surrogate
      {u"\xDC00", "\xEF\xBF\xBD"},                           // an escaped NUL
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},  // NUL
      {u"a/b", "a/b"},
      {u"a*b?", "a*b?"},                                  // wildcards, which stand-ins carry
      {u"caf\xDCC3\xDCA9", "caf\xC3\xA9"},                // "é" spelt as escapes
      {u"\xDCE2\xDC82\xDCAC", "\xE2\x82\xAC"},            // "€" spelt as escapes
      {u"\xDC5C", "\xEF\xBF\xBD"},                        // "\" spelt as an escape
      {u"\xDCE2\xDC82\xDCACx\xF05C", "\xE2\x82\xACx\\"},  // with a real stand-in beside it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ShownDeviceText(c.device));
    std::string host;
    EXPECT_FALSE(HostNameFromDevice(c.device, &host));
    EXPECT_EQ(host, c.host);
  }
}

// Property: every host name, over all names of one and two bytes and many random ones built from
// the bytes that matter (lead and continuation bytes, "\", "*", "?", the stand-ins' bytes, bytes
// never in UTF-8), maps to a device name without "\", "*" or "?", that maps back to the same
// bytes; distinct names never share a device name; valid UTF-8 without those characters or their
// stand-ins is the plain conversion.
TEST(TextTest, EveryHostNameRoundTripsThroughItsOwnDeviceName) {
  std::vector<std::string> names;
  for (int a = 1; a < 256; ++a) {
    if (a == '/') continue;  // no host name holds "/" or NUL
    names.emplace_back(1, static_cast<char>(a));
    for (int b = 1; b < 256; ++b) {
      if (b != '/') names.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
  }
  const unsigned char alphabet[] = {'a',  '\\', '*',  '?',  0x80, 0x81, 0x9C, 0xA9, 0xAA,
                                    0xAC, 0xB3, 0xBF, 0xC0, 0xC3, 0xE2, 0x82, 0xED, 0xEF,
                                    0xF0, 0x9F, 0x98, 0xF4, 0x90, 0xF5, 0xFE, 0xFF};
  std::mt19937 random(8);
  for (int i = 0; i < 200000; ++i) {
    std::string name(1 + random() % 12, 'a');
    for (char& c : name) c = static_cast<char>(alphabet[random() % sizeof alphabet]);
    names.push_back(std::move(name));
  }
  std::unordered_map<std::u16string, std::string> seen;
  for (const std::string& name : names) {
    const std::u16string device = DeviceNameFromHost(name);
    std::string back;
    ASSERT_TRUE(HostNameFromDevice(device, &back)) << ShownHostText(name);
    ASSERT_EQ(back, name) << ShownHostText(name);
    ASSERT_EQ(device.find_first_of(u"\\*?"), std::u16string::npos) << ShownHostText(name);
    const auto [it, added] = seen.emplace(device, name);
    ASSERT_TRUE(added || it->second == name)
        << ShownHostText(name) << " and " << ShownHostText(it->second);
    std::u16string plain;
    const bool stand_ins = name.find_first_of("\\*?") != std::string::npos ||
                           name.find("\xEF\x81\x9C") != std::string::npos ||
                           name.find("\xEF\x80\xAA") != std::string::npos ||
                           name.find("\xEF\x80\xBF") != std::string::npos;
    if (Utf8ToUtf16(name, &plain) && !stand_ins) {
      ASSERT_EQ(device, plain) << ShownHostText(name);
    }
  }
}

}  // namespace
}  // namespace kolvar::platform
