// The applier's window or standard error: no display means no window is tried; a display that
// cannot be reached falls back to Qt's offscreen platform, which gives the window up, unless the
// offscreen platform was asked for first.
#include "updater/window_choice.h"

#include <gtest/gtest.h>

namespace kolvar::updater {
namespace {

TEST(WindowChoiceTest, ThePlatformsTriedEndOffscreen) {
  const struct {
    const char* name;
    const char* qpa;
    const char* display;
    const char* wayland;
    bool try_window;
    std::string platforms;
    bool offscreen_wanted;
  } cases[] = {
      {"nothing", nullptr, nullptr, nullptr, false, "", false},
      {"all empty", "", "", "", false, "", false},
      {"X", nullptr, ":0", nullptr, true, "xcb;offscreen", false},
      {"X over ssh", nullptr, "localhost:10.0", "", true, "xcb;offscreen", false},
      {"Wayland", nullptr, nullptr, "wayland-0", true, "wayland;offscreen", false},
      {"Wayland and X", nullptr, ":1", "wayland-0", true, "wayland;xcb;offscreen", false},
      {"asked for X", "xcb", nullptr, nullptr, true, "xcb;offscreen", false},
      {"asked for offscreen", "offscreen", nullptr, nullptr, true, "offscreen", true},
      {"offscreen with options", "offscreen:size=400x600", ":0", nullptr, true,
       "offscreen:size=400x600", true},
      {"offscreen as the fallback", "xcb;offscreen", ":0", nullptr, true, "xcb;offscreen", false},
      {"empty entries", ";offscreen", nullptr, nullptr, true, ";offscreen", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowPlatforms choice = ChooseWindowPlatforms(c.qpa, c.display, c.wayland);
    EXPECT_EQ(choice.try_window, c.try_window);
    EXPECT_EQ(choice.platforms, c.platforms);
    EXPECT_EQ(choice.offscreen_wanted, c.offscreen_wanted);
  }
}

TEST(WindowChoiceTest, OnlyAWantedOffscreenPlatformKeepsTheWindow) {
  const WindowPlatforms x = ChooseWindowPlatforms(nullptr, ":0", nullptr);
  EXPECT_TRUE(ShowsWindow(x, "xcb"));
  EXPECT_FALSE(ShowsWindow(x, "offscreen")) << "the display could not be reached";
  const WindowPlatforms offscreen = ChooseWindowPlatforms("offscreen", nullptr, nullptr);
  EXPECT_TRUE(ShowsWindow(offscreen, "offscreen"));
  EXPECT_FALSE(ShowsWindow(ChooseWindowPlatforms(nullptr, nullptr, nullptr), "xcb"));
}

}  // namespace
}  // namespace kolvar::updater
