// The private X display of a test; see x_display.h.
#include "tests/antivirus/x_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace kolvar::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The program `name` found in PATH, empty when it is not installed.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Reads from `fd` until the end or the deadline.
std::string ReadUntil(int fd, Clock::time_point deadline, bool stop_at_newline) {
  std::string text;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd entry = {fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
    if (stop_at_newline && text.find('\n') != std::string::npos) break;
  }
  return text;
}

// Ends `pid` (SIGTERM, then SIGKILL after `seconds`) and reaps it.
void EndProcess(pid_t pid, double seconds) {
  kill(pid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < deadline) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

XDisplay::XDisplay() {
  const std::string server = FindProgram("Xvfb");
  if (server.empty() || FindProgram("xdotool").empty()) {
    why_unusable_ = "Xvfb or xdotool is not installed (scripts/deps installs them)";
    return;
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    why_unusable_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  // The server writes the display number it found free to this descriptor.
  const int child_fd = pipe_fds[1] == 99 ? 98 : 99;
  const std::string child_fd_text = std::to_string(child_fd);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], child_fd);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {server,        "-displayfd", child_fd_text, "-screen", "0",
                                   "1024x768x24", "-nolisten",  "tcp",         "-noreset"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, server.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    why_unusable_ = "Xvfb did not start: " + std::string(std::strerror(rc));
    return;
  }
  const std::string number =
      ReadUntil(pipe_fds[0], Clock::now() + std::chrono::seconds(60), /*stop_at_newline=*/true);
  close(pipe_fds[0]);
  if (number.empty() || number.find_first_not_of("0123456789\n") != std::string::npos) {
    EndProcess(pid, 5);
    why_unusable_ = "Xvfb did not tell its display number";
    return;
  }
  pid_ = pid;
  name_ = ":" + number.substr(0, number.find('\n'));
  SetEnvironment("DISPLAY", name_.c_str());
  // Qt would pick Wayland where the test runs under it, or a platform the test's environment
  // names (offscreen).
  SetEnvironment("QT_QPA_PLATFORM", "xcb");
  SetEnvironment("WAYLAND_DISPLAY", nullptr);
}

void XDisplay::SetEnvironment(const char* name, const char* value) {
  const char* before = getenv(name);
  saved_environment_.emplace_back(
      name, before != nullptr ? std::optional<std::string>(before) : std::nullopt);
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

XDisplay::~XDisplay() {
  if (pid_ <= 0) return;
  EndProcess(pid_, 10);
  for (auto saved = saved_environment_.rbegin(); saved != saved_environment_.rend(); ++saved) {
    if (saved->second) {
      setenv(saved->first.c_str(), saved->second->c_str(), 1);
    } else {
      unsetenv(saved->first.c_str());
    }
  }
}

XDisplay::Result XDisplay::Xdotool(const std::vector<std::string>& arguments,
                                   double seconds) const {
  Result result;
  const std::string program = FindProgram("xdotool");
  int pipe_fds[2];
  if (program.empty() || pipe2(pipe_fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot run xdotool";
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> args = {program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string display = "DISPLAY=" + name_;
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "DISPLAY=", 8) != 0) envp.push_back(*entry);
  }
  envp.push_back(display.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    ADD_FAILURE() << "xdotool did not start: " << std::strerror(rc);
    return result;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(seconds));
  result.out = ReadUntil(pipe_fds[0], deadline, /*stop_at_newline=*/false);
  close(pipe_fds[0]);
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return result;
}

std::string XDisplay::WaitForWindow(const std::string& title, double seconds) const {
  // --sync waits until such a window exists; the deadline ends that wait.
  const Result found = Xdotool({"search", "--sync", "--onlyvisible", "--name", title}, seconds);
  const std::string window = found.out.substr(0, found.out.find('\n'));
  if (found.exit_status != 0 || window.empty()) {
    ADD_FAILURE() << "no window titled /" << title << "/ within " << seconds << " s";
    return {};
  }
  return window;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::vector<std::string> XDisplay::Windows(const std::string& title) const {
  return Lines(Xdotool({"search", "--onlyvisible", "--name", title}).out);
}

std::vector<std::string> XDisplay::WindowsOfClass(const std::string& window_class) const {
  return Lines(Xdotool({"search", "--onlyvisible", "--class", window_class}).out);
}

std::string XDisplay::Title(const std::string& window) const {
  const Result named = Xdotool({"getwindowname", window});
  if (named.exit_status != 0) return {};
  return named.out.substr(0, named.out.find('\n'));
}

bool XDisplay::WaitForTitle(const std::string& window, const std::string& title,
                            double seconds) const {
  const std::regex pattern(title, std::regex::extended);
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  std::string now;
  while (Clock::now() < deadline) {
    now = Title(window);
    if (std::regex_search(now, pattern)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ADD_FAILURE() << "the window's title stayed \"" << now << "\", never matching /" << title
                << "/ within " << seconds << " s";
  return false;
}

void XDisplay::Keys(const std::string& window, const std::vector<std::string>& keys) const {
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Xdotool({"windowfocus", "--sync", window}).exit_status, 0);
  Press(keys);
}

void XDisplay::Press(const std::vector<std::string>& keys) const {
  for (const std::string& key : keys) {
    EXPECT_EQ(Xdotool({"key", "--clearmodifiers", key}).exit_status, 0) << key;
  }
}

}  // namespace kolvar::testing
