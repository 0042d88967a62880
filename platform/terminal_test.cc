// Interrupts caught instead of ending the program, and answers read line by line from standard
// input without reading ahead.
#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

namespace kolvar::platform {
namespace {

// Puts a pipe holding `text` in place of standard input for the life of the object.
class InputFromText {
 public:
  explicit InputFromText(const std::string& text) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(ends[1]);
    saved_ = dup(STDIN_FILENO);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
  }
  ~InputFromText() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }

 private:
  int saved_ = -1;
};

TEST(Terminal, LinesAreReadOneAtATimeUpToTheEnd) {
  InputFromText input("move\n\nlast without break");
  std::string line;
  EXPECT_EQ(ReadInputLine(&line), ReadLineResult::kLine);
  EXPECT_EQ(line, "move");
  EXPECT_EQ(ReadInputLine(&line), ReadLineResult::kLine);
  EXPECT_EQ(line, "");
  EXPECT_EQ(ReadInputLine(&line), ReadLineResult::kLine);
  EXPECT_EQ(line, "last without break");
  EXPECT_EQ(ReadInputLine(&line), ReadLineResult::kEnd);
}

TEST(Terminal, CaughtInterruptIsRecordedAndStopsReading) {
  CatchInterrupts();
  EXPECT_FALSE(InterruptRequested());
  ASSERT_EQ(raise(SIGTERM), 0);  // would end the test program if it were not caught
  EXPECT_EQ(InterruptSignal(), SIGTERM);
  raise(SIGINT);
  EXPECT_EQ(InterruptSignal(), SIGTERM) << "the first signal is the one kept";
  InputFromText input("never read\n");
  std::string line;
  EXPECT_EQ(ReadInputLine(&line), ReadLineResult::kInterrupted);
}

TEST(Terminal, PipesAreNoTerminals) {
  InputFromText input("");
  EXPECT_FALSE(IsTerminal(StandardStream::kInput));
  EXPECT_EQ(TerminalColumns(StandardStream::kInput), 0);
}

}  // namespace
}  // namespace kolvar::platform
