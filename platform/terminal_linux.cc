// Terminal queries through isatty and TIOCGWINSZ; interrupts through sigaction handlers that only
// store the signal number, which is all a handler may safely do.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/terminal.h"

namespace kolvar::platform {
namespace {

std::atomic<int> interrupt_signal{0};

int DescriptorOf(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STDIN_FILENO;
    case StandardStream::kOutput:
      return STDOUT_FILENO;
    case StandardStream::kError:
      return STDERR_FILENO;
  }
  return -1;
}

void RecordInterrupt(int signal_number) {
  int expected = 0;
  interrupt_signal.compare_exchange_strong(expected, signal_number);
}

}  // namespace

bool IsTerminal(StandardStream stream) { return isatty(DescriptorOf(stream)) == 1; }

int TerminalColumns(StandardStream stream) {
  winsize size{};
  if (ioctl(DescriptorOf(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void CatchInterrupts() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = RecordInterrupt;
    sigemptyset(&action.sa_mask);
    // Without SA_RESTART a blocking read of an answer returns, so a prompt notices at once.
    action.sa_flags = 0;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
  });
}

int InterruptSignal() { return interrupt_signal.load(); }

ReadLineResult ReadInputLine(std::string* line) {
  line->clear();
  for (;;) {
    if (InterruptRequested()) return ReadLineResult::kInterrupted;
    char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0) {
      if (errno == EINTR) continue;  // the loop's test tells a caught interrupt from others
      return ReadLineResult::kFailed;
    }
    if (n == 0) return line->empty() ? ReadLineResult::kEnd : ReadLineResult::kLine;
    if (c == '\n') return ReadLineResult::kLine;
    line->push_back(c);
  }
}

}  // namespace kolvar::platform
