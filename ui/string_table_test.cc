#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvar::ui {
namespace {

const std::u16string kLong510(510, u'a');
const std::u16string kLong511(511, u'b');
const StringResource kStrings[] = {{40083, u"Kolvar AV"}, {1, kLong510}, {2, kLong511}, {3, u""}};

TEST(StringTable, LoadFollowsTheLoadStringRule) {
  const StringTable table(kStrings);
  struct Case {
    uint32_t id;
    std::u16string expected;
  };
  const Case cases[] = {
      {40083, u"Kolvar AV"},
      {1, std::u16string(255, u'a')},  // the buffer keeps 255 characters
      {2, u""},                        // 511 characters or more load as nothing
      {3, u""},
      {40084, u""},  // missing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(table.Load(c.id), c.expected);
  }
  EXPECT_TRUE(table.Contains(3));
  EXPECT_FALSE(table.Contains(40084));
}

}  // namespace
}  // namespace kolvar::ui
