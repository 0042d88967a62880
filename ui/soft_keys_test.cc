#include "ui/soft_keys.h"

#include <gtest/gtest.h>

namespace kolvar::ui {
namespace {

SoftKeyBar MainBar() {
  SoftKeyBar bar;
  bar.left = SoftKey::MenuKey(u"Options");
  bar.left.menu.Add(40130, u"Scan Now").AddSeparator().Add(40028, u"Exit Antivirus");
  bar.right = SoftKey::MenuKey(u"Tools");
  bar.right.menu.Add(40185, u"Processes Manager").AddSeparator().Add(40209, u"System Information");
  return bar;
}

TEST(SoftKeys, GreyingFindsTheItemInEitherMenuByItsId) {
  SoftKeyBar bar = MainBar();
  EXPECT_TRUE(bar.SetGreyed(40209, true));
  EXPECT_TRUE(bar.right.menu.IsGreyed(40209));
  EXPECT_FALSE(bar.right.menu.IsGreyed(40185));
  EXPECT_TRUE(bar.SetGreyed(40130, true));
  EXPECT_TRUE(bar.left.menu.IsGreyed(40130));
  EXPECT_TRUE(bar.SetGreyed(40209, false));
  EXPECT_FALSE(bar.right.menu.IsGreyed(40209));
  // Separators carry no command: id 0 names no item.
  EXPECT_FALSE(bar.SetGreyed(0, true));
  EXPECT_EQ(bar.FindItem(0), nullptr);
  EXPECT_FALSE(bar.SetGreyed(4242, true));
}

TEST(SoftKeys, MenuKeyOpensItsMenuAndCommandKeySendsItsCommand) {
  SoftKeyBar bar = MainBar();
  EXPECT_TRUE(bar.left.opens_menu());
  ASSERT_EQ(bar.left.menu.items().size(), 3u);
  EXPECT_TRUE(bar.left.menu.items()[1].separator);
  const SoftKey close = SoftKey::CommandKey(40040, u"Close");
  EXPECT_FALSE(close.opens_menu());
  EXPECT_EQ(close.command, 40040u);
  EXPECT_FALSE(SoftKey().present());
}

}  // namespace
}  // namespace kolvar::ui
