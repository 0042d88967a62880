// A private X display for one test of a windowed program: an Xvfb server of its own (no window
// manager), and the user's hands on it through xdotool: find a window by its title, give it the
// keyboard focus, press keys. Programs started by the test reach the display through the
// environment, which the object sets for the test process while it lives: DISPLAY, and Qt's X
// platform in place of whatever platform the test runs under.
//
//   class MyWindowTest : public testing::WithXDisplay<::testing::Test> { ... };
//   std::string window = display_.WaitForWindow("^Kolvar AV$", 120);
//   display_.Keys(window, {"F1", "Return"});
#ifndef KOLVAR_TESTS_ANTIVIRUS_X_DISPLAY_H_
#define KOLVAR_TESTS_ANTIVIRUS_X_DISPLAY_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kolvar::testing {

class XDisplay {
 public:
  // Starts Xvfb on a free display number. Not usable (and nothing started) when Xvfb or xdotool
  // is not installed, or when the server does not come up.
  XDisplay();
  // Ends the server and waits for it; restores the environment.
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  bool usable() const { return pid_ > 0; }
  const std::string& why_unusable() const { return why_unusable_; }
  // ":N"
  const std::string& name() const { return name_; }

  struct Result {
    int exit_status = -1;  // -1: did not end in time
    std::string out;
  };
  // Runs xdotool with `arguments` on this display, at most `seconds`.
  Result Xdotool(const std::vector<std::string>& arguments, double seconds = 60) const;

  // The id of a visible window whose title matches the extended regular expression `title`,
  // waiting up to `seconds`; empty (after a test failure) when none appears.
  std::string WaitForWindow(const std::string& title, double seconds = 120) const;
  // The ids of the visible windows whose titles (WM_NAME) match now.
  std::vector<std::string> Windows(const std::string& title) const;
  // The ids of the visible windows of a window class (an extended regular expression) now.
  std::vector<std::string> WindowsOfClass(const std::string& window_class) const;
  // The title of a window now; empty when it is gone.
  std::string Title(const std::string& window) const;
  // Waits until the window's title matches `title` (an extended regular expression); false after
  // `seconds`.
  bool WaitForTitle(const std::string& window, const std::string& title,
                    double seconds = 120) const;

  // Gives `window` the keyboard focus and presses the keys one after the other (xdotool key
  // names: "F1", "Down", "Return", "Escape", "alt+f").
  void Keys(const std::string& window, const std::vector<std::string>& keys) const;
  // Presses the keys where the keyboard is now (an open menu holds it).
  void Press(const std::vector<std::string>& keys) const;

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string why_unusable_;
  // The test's own values of the variables the object changed (nullopt: unset), in order.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_environment_;

  void SetEnvironment(const char* name, const char* value);
};

// A fixture over `Base` whose cases run on a display of their own; a case skips where none can
// be made (Xvfb or xdotool missing).
template <typename Base>
class WithXDisplay : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    if (!display_.usable())
      GTEST_SKIP() << "no X display for the windowed program: " << display_.why_unusable();
  }

  XDisplay display_;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_ANTIVIRUS_X_DISPLAY_H_
