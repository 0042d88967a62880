// The extension rule and the class lookup, name by name.
#include "scan_engine/file_type_classes.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

TEST(FileTypeClasses, NamesGiveExtensionAndClass) {
  const struct {
    std::u16string name;
    bool tested;
    std::string extension;
    uint32_t class_bit;
  } kCases[] = {
      {u"a.exe", true, "exe", 0x1},
      {u"a.EXE", true, "EXE", 0x1},
      {u"Lib.Dll", true, "Dll", 0x2},
      {u"x.psw", true, "psw", 0x4},
      {u"x.pxl", true, "pxl", 0x8},
      {u"read.txt", true, "txt", 0x10},
      {u"x.dat", true, "dat", 0x20},
      {u"page.html", true, "html", 0x40},
      {u"x.2bp", true, "2bp", 0x80},
      {u"x.GIF", true, "GIF", 0x100},
      {u"page.htm", true, "htm", 0x200},
      {u"a.exe.txt", true, "exe.txt", 0},       // text after the first "."
      {u"report.txt.exe", true, "txt.exe", 0},  // not the last one
      {u"noextension", true, "", 0},
      {u"ends.", true, ".", 0},
      {u".profile", true, "profile", 0},
      {u"x.123456789012345", true, "123456789012345", 0},  // 15 characters: tested
      {u"x.1234567890123456", false, "1234567890123456", 0},
      {u"x.ex\u00e9", true, "ex?", 0},  // non-ASCII never equals a row
      {u"x.\U0001F600", true, "?", 0},  // a surrogate pair is one character
      {u"x.*", true, "*", 0},           // the end marker is no class
  };
  for (const auto& c : kCases) {
    std::string extension;
    EXPECT_EQ(FileExtension(c.name, &extension), c.tested) << c.extension;
    EXPECT_EQ(extension, c.extension);
    if (c.tested) {
      EXPECT_EQ(FileTypeClassOf(extension), c.class_bit) << c.extension;
    }
  }
}

TEST(FileTypeClasses, AnyFileBitAppliesEverywhereAndMaskZeroNowhere) {
  EXPECT_TRUE(SignatureApplies(kAnyFileClass, 0));
  EXPECT_TRUE(SignatureApplies(kAnyFileClass, 0x10));
  EXPECT_TRUE(SignatureApplies(0x11, 0x10));
  EXPECT_FALSE(SignatureApplies(0x11, 0));
  EXPECT_FALSE(SignatureApplies(0x11, 0x2));
  EXPECT_FALSE(SignatureApplies(0, 0x1));
  EXPECT_FALSE(SignatureApplies(0, 0));
}

TEST(FileTypeClasses, TableEndsWithTheMarker) {
  EXPECT_EQ(std::size(kFileTypeClasses), 12u);
  EXPECT_EQ(kFileTypeClasses[10].class_bit, kAnyFileClass);
  EXPECT_EQ(kFileTypeClasses[11].class_bit, kFileTypeTableEnd);
  EXPECT_STREQ(kFileTypeClasses[11].extension, "*");
}

}  // namespace
}  // namespace kolvar
