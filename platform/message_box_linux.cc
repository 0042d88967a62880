// Message boxes: the presenter of a windowed program, or standard error and the system log; plus
// the JSON log and the scripted answers through which tests drive programs without a screen.
#include <fcntl.h>
#include <sys/file.h>
#include <syslog.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_box.h"
#include "platform/posix_fd.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

using internal::RetryOnEintr;
using internal::UniqueFd;

constexpr size_t kCounterWidth = 20;  // digits of the answered-box counter, always all written

std::mutex& PresenterMutex() {
  static std::mutex mutex;
  return mutex;
}

MessageBoxPresenter& Presenter() {
  static auto* presenter = new MessageBoxPresenter();  // lives as long as the process
  return *presenter;
}

std::string EnvOrEmpty(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

void AppendJsonString(std::u16string_view text, std::string* out) {
  out->push_back('"');
  for (const char c : Utf16ToUtf8(text)) {
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      case '\b':
        *out += "\\b";
        break;
      case '\f':
        *out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          *out += escape;
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        RetryOnEintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One line in one write to a file opened for appending: lines of several programs never mix.
void AppendToLog(const std::string& log, std::u16string_view program, std::u16string_view caption,
                 std::u16string_view text, uint32_t style) {
  std::string line = "{\"program\":";
  AppendJsonString(program, &line);
  line += ",\"caption\":";
  AppendJsonString(caption, &line);
  line += ",\"text\":";
  AppendJsonString(text, &line);
  line += ",\"style\":" + std::to_string(style) + "}\n";
  UniqueFd fd(RetryOnEintr([&] {
    return open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  }));
  if (fd.valid()) WriteAll(fd.get(), line);
}

void Report(std::u16string_view program, std::u16string_view caption, std::u16string_view text,
            uint32_t style) {
  const std::string line =
      Utf16ToUtf8(program) + ": " + Utf16ToUtf8(caption) + ": " + Utf16ToUtf8(text);
  WriteAll(STDERR_FILENO, line + "\n");
  const uint32_t icon = style & 0xF0;
  const int priority = icon == kMbIconError     ? LOG_ERR
                       : icon == kMbIconWarning ? LOG_WARNING
                                                : LOG_NOTICE;
  syslog(LOG_USER | priority, "%s", line.c_str());
}

// Takes the next position in the answer list: from the companion counter of the log, shared by
// every program that writes the same log, or from this process's own count without a log.
size_t TakeAnswerPosition(const std::string& log) {
  if (!log.empty()) {
    const std::string counter_path = log + ".answered";
    UniqueFd fd(RetryOnEintr([&] {
      return open(counter_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }));
    if (fd.valid() && RetryOnEintr([&] { return flock(fd.get(), LOCK_EX); }) == 0) {
      char digits[kCounterWidth + 1] = {};
      const ssize_t n = RetryOnEintr([&] { return pread(fd.get(), digits, kCounterWidth, 0); });
      const size_t taken = n > 0 ? strtoull(digits, nullptr, 10) : 0;
      snprintf(digits, sizeof digits, "%0*zu", static_cast<int>(kCounterWidth), taken + 1);
      RetryOnEintr([&] { return pwrite(fd.get(), digits, kCounterWidth, 0); });
      return taken;  // the lock goes with the descriptor
    }
  }
  static std::mutex mutex;
  static size_t own_count = 0;
  std::lock_guard<std::mutex> lock(mutex);
  return own_count++;
}

std::string Trimmed(std::string_view token) {
  while (!token.empty() && isspace(static_cast<unsigned char>(token.front()))) {
    token.remove_prefix(1);
  }
  while (!token.empty() && isspace(static_cast<unsigned char>(token.back()))) {
    token.remove_suffix(1);
  }
  std::string out(token);
  for (char& c : out) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return out;
}

int AnswerFromToken(const std::string& token, uint32_t style) {
  static const std::pair<const char*, int> kNames[] = {
      {"OK", kIdOk},         {"CANCEL", kIdCancel}, {"ABORT", kIdAbort}, {"RETRY", kIdRetry},
      {"IGNORE", kIdIgnore}, {"YES", kIdYes},       {"NO", kIdNo}};
  for (const auto& [name, id] : kNames) {
    if (token == name) return id;
  }
  char* end = nullptr;
  const long number = strtol(token.c_str(), &end, 10);
  if (!token.empty() && *end == '\0' && number > 0 && number < 1000)
    return static_cast<int>(number);
  return DefaultAnswer(style);
}

int ScriptedAnswer(const std::string& answers, const std::string& log, uint32_t style) {
  std::vector<std::string> tokens;
  size_t start = 0;
  for (;;) {
    const size_t comma = answers.find(',', start);
    tokens.push_back(Trimmed(std::string_view(answers).substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  const size_t position = TakeAnswerPosition(log);
  if (position >= tokens.size()) return DefaultAnswer(style);
  return AnswerFromToken(tokens[position], style);
}

}  // namespace

int DefaultAnswer(uint32_t style) {
  switch (style & kMbButtonsMask) {
    case kMbAbortRetryIgnore:
      return kIdAbort;
    case kMbYesNoCancel:
    case kMbYesNo:
      return kIdYes;
    case kMbRetryCancel:
      return kIdRetry;
    default:
      return kIdOk;
  }
}

int MessageBox(std::u16string_view program, std::u16string_view caption, std::u16string_view text,
               uint32_t style) {
  const std::string log = EnvOrEmpty("KOLVAR_MSGBOX_LOG");
  const std::string answers = EnvOrEmpty("KOLVAR_MSGBOX_ANSWERS");
  if (!log.empty()) AppendToLog(log, program, caption, text, style);
  MessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> lock(PresenterMutex());
    presenter = Presenter();
  }
  if (!presenter) Report(program, caption, text, style);
  if (!answers.empty()) return ScriptedAnswer(answers, log, style);
  if (presenter) return presenter(caption, text, style);
  return DefaultAnswer(style);
}

void SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard<std::mutex> lock(PresenterMutex());
  Presenter() = std::move(presenter);
}

}  // namespace kolvar::platform
