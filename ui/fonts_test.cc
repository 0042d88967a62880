#include "ui/fonts.h"

#include <gtest/gtest.h>

namespace kolvar::ui {
namespace {

TEST(Fonts, FaceIsTahomaOrTheFirstTrueTypeFamilyIgnoringCase) {
  struct Case {
    const char* name;
    std::vector<FontFamily> families;
    std::u16string face;
  };
  const Case cases[] = {
      {"no fonts at all", {}, u"Tahoma"},
      {"Tahoma among others", {{u"Arial", true}, {u"Tahoma", true}}, u"Tahoma"},
      {"first TrueType in case-insensitive order",
       {{u"Zed", true}, {u"bitstream", false}, {u"DejaVu Sans", true}, {u"courier", true}},
       u"courier"},
      {"no TrueType family", {{u"Fixed", false}, {u"Terminal", false}}, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseFontFace(c.families), c.face);
  }
}

TEST(Fonts, HeightsAndWeightsFollowResolutionAndPlatform) {
  EXPECT_EQ(BaseFontHeight(96.0), 14);
  EXPECT_EQ(BaseFontHeight(96.5), 16);
  EXPECT_EQ(BaseFontHeight(192.0), 16);
  const ApplicationFontSpecs pocket = MakeApplicationFonts(u"Tahoma", 14, 2);
  EXPECT_EQ(pocket.regular[0].pixel_height, 15);
  EXPECT_EQ(pocket.regular[1].pixel_height, 14);
  EXPECT_EQ(pocket.regular[0].weight, 400);
  EXPECT_EQ(pocket.bold.pixel_height, 14);
  EXPECT_EQ(pocket.bold.weight, 700);
  EXPECT_EQ(MakeApplicationFonts(u"Tahoma", 16, 1).bold.weight, 600);
}

}  // namespace
}  // namespace kolvar::ui
