// The front end's terminal output; see console.h.
#include "antivirus/kolvar/console.h"

#include <cstdio>

#include "antivirus/resource_strings.h"
#include "platform/text.h"

namespace kolvar {
namespace {

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

Console::Console(bool live_progress) : live_progress_(live_progress) {}

void Console::ClearLocked() {
  if (!progress_shown_) return;
  Write(stderr, "\r\x1b[K");
  progress_shown_ = false;
}

void Console::ShowProgress(const std::string& line) {
  if (!live_progress_) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Write(stderr, "\r" + line + "\x1b[K");
  progress_shown_ = true;
}

void Console::ClearProgress() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLocked();
}

void Console::Out(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLocked();
  Write(stdout, text);
}

void Console::Message(const std::string& text) {
  std::string out = "kolvar: ";
  for (const char c : text) {
    out.push_back(c);
    if (c == '\n') out += "  ";
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
  Err(out + "\n");
}

void Console::Err(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLocked();
  Write(stderr, text);
}

std::string Console::BoxText(std::u16string_view caption, std::u16string_view text) {
  while (!text.empty() && text.front() == u'\n') text.remove_prefix(1);
  std::string out;
  if (!caption.empty() && caption != strings::kProgramCaption) {
    out = platform::Utf16ToUtf8(caption) + ": ";
  }
  // Line by line: the box's line breaks stay, while a path inside it shows the bytes of its names
  // as "\xFF" and no control character of a name reaches the terminal.
  for (size_t start = 0;;) {
    const size_t end = text.find(u'\n', start);
    out +=
        platform::ShownDeviceText(text.substr(start, end == text.npos ? text.npos : end - start));
    if (end == text.npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace kolvar
