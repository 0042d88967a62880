// The front end's terminal: the report on standard output; messages, prompts and the live progress
// line on standard error. One lock orders them, so that a message or a prompt first clears the
// progress line and no two threads write across each other.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_CONSOLE_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_CONSOLE_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace kolvar {

class Console {
 public:
  // With live_progress the progress line is drawn (standard error must be a terminal).
  explicit Console(bool live_progress);

  bool live_progress() const { return live_progress_; }

  // Replaces the progress line (a no-op without live progress).
  void ShowProgress(const std::string& line);
  void ClearProgress();
  // Text for standard output (the report).
  void Out(const std::string& text);
  // A message line for standard error, prefixed "kolvar: "; following lines are indented.
  void Message(const std::string& text);
  // Raw text for standard error (prompts, relayed lines), after clearing the progress line.
  void Err(const std::string& text);

  // Held by a prompt for its whole exchange, so that the progress line stays away meanwhile.
  std::unique_lock<std::recursive_mutex> Hold() {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }

  // How a message box of the front end is shown: "kolvar: [caption: ]text", the caption left out
  // when it is the program's own; leading line breaks dropped.
  static std::string BoxText(std::u16string_view caption, std::u16string_view text);

 private:
  void ClearLocked();

  const bool live_progress_;
  std::recursive_mutex mutex_;
  bool progress_shown_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_CONSOLE_H_
