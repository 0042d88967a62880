// Process handles over pidfds: programs are started with posix_spawn and opened right away as
// pidfds, so waiting, liveness and termination always address the process that was started, never
// a later one that got its pid.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/file_info_linux.h"
#include "platform/path.h"
#include "platform/posix_fd.h"
#include "platform/process.h"
#include "platform/process_reaper_linux.h"
#include "platform/text.h"

extern char** environ;

namespace kolvar::platform {
namespace {

using internal::RetryOnEintr;

// Direct system calls: the C library's declarations of these lack C linkage in some versions.
int PidfdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0u)); }
int PidfdSendSignal(int pidfd, int signal) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}

int64_t MonotonicMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits until the pidfd is readable (the process has ended). 1 ended, 0 timed out, -1 failed.
int PollEnded(int pidfd, uint32_t timeout_ms) {
  const int64_t deadline = timeout_ms == kInfinite ? -1 : MonotonicMs() + timeout_ms;
  for (;;) {
    int wait_ms = -1;
    if (deadline >= 0) {
      const int64_t left = deadline - MonotonicMs();
      wait_ms = left <= 0 ? 0 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
    }
    pollfd entry{pidfd, POLLIN, 0};
    const int rc = poll(&entry, 1, wait_ms);
    if (rc > 0) return 1;
    if (rc < 0 && errno != EINTR) return -1;
    if (rc == 0 && wait_ms >= 0 && deadline - MonotonicMs() <= 0) return 0;
  }
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Default signal actions and an empty mask in the program; descriptors above standard error
  // closed even when some library opened them without O_CLOEXEC.
  int Configure(bool detached, const std::string& output_file) {
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (detached) flags |= POSIX_SPAWN_SETSID;
    int rc = posix_spawnattr_setflags(&attr_, flags);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attr_, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr_, &all);
    if (rc == 0 && detached) {
      rc = posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (rc == 0 && !output_file.empty()) {
      rc = posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, output_file.c_str(),
                                            O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW,
                                            0600);
      if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
    } else if (rc == 0 && detached) {
      rc = posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
    }
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    return rc;
  }

  int Spawn(pid_t* pid, const std::string& path, char* const argv[]) {
    return posix_spawn(pid, path.c_str(), &actions_, &attr_, argv, environ);
  }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

}  // namespace

Process::~Process() { Close(); }

Process::Process(Process&& other) noexcept
    : pidfd_(std::exchange(other.pidfd_, -1)),
      pid_(std::exchange(other.pid_, 0)),
      is_child_(other.is_child_),
      reaped_(other.reaped_),
      exit_status_(other.exit_status_) {}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Close();
    pidfd_ = std::exchange(other.pidfd_, -1);
    pid_ = std::exchange(other.pid_, 0);
    is_child_ = other.is_child_;
    reaped_ = other.reaped_;
    exit_status_ = other.exit_status_;
  }
  return *this;
}

bool Process::Start(std::u16string_view program, std::u16string_view command_line,
                    const StartOptions& options, Process* out) {
  std::string host;
  if (!CheckedHostPath(program, &host)) return false;
  if (command_line.find(u'\0') != std::u16string_view::npos) return Fail(kErrorInvalidParameter);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    return Fail(errno == ENOENT ? internal::MissingPathError(host) : ErrorFromErrno(errno));
  }
  if (!S_ISREG(st.st_mode) || access(host.c_str(), X_OK) != 0) return Fail(kErrorAccessDenied);

  std::string argument = Utf16ToUtf8(command_line);
  char* argv[] = {host.data(), command_line.empty() ? nullptr : argument.data(), nullptr};
  std::string output_file;
  if (!options.output_file.empty() && !CheckedHostPath(options.output_file, &output_file)) {
    return false;
  }
  SpawnSetup setup;
  if (const int rc = setup.Configure(options.detached, output_file); rc != 0) {
    return FailWithErrno(rc);
  }
  pid_t pid = 0;
  if (const int rc = setup.Spawn(&pid, host, argv); rc != 0) {
    return Fail(rc == ENOENT ? internal::MissingPathError(host) : ErrorFromErrno(rc));
  }
  // Only this process reaps its children, so the pid cannot have been reused yet.
  const int pidfd = PidfdOpen(pid);
  if (pidfd < 0) {
    const int error = errno;
    kill(pid, SIGKILL);
    RetryOnEintr([&] { return waitpid(pid, nullptr, 0); });
    return FailWithErrno(error);
  }
  Process started;
  started.pidfd_ = pidfd;
  started.pid_ = pid;
  started.is_child_ = true;
  *out = std::move(started);
  return true;
}

bool Process::OpenById(pid_t pid, Process* out) {
  if (pid <= 0) return Fail(kErrorInvalidParameter);
  const int pidfd = PidfdOpen(pid);
  if (pidfd < 0) {
    return Fail(errno == ESRCH || errno == EINVAL ? kErrorInvalidParameter : ErrorFromErrno(errno));
  }
  Process opened;
  opened.pidfd_ = pidfd;
  opened.pid_ = pid;
  // Never the reaping handle: a child of ours is reaped by the handle that started it (or by the
  // reaper), so that handle still finds the exit code. This one only looks (WNOWAIT).
  opened.is_child_ = false;
  *out = std::move(opened);
  return true;
}

// Learns the exit status of an ended child: the starting handle collects it, any other handle
// only looks at it, leaving the child to the starting handle.
bool Process::TryReap() {
  if (reaped_) return true;
  siginfo_t info{};
  const int options = WEXITED | WNOHANG | (is_child_ ? 0 : WNOWAIT);
  const int rc =
      RetryOnEintr([&] { return waitid(static_cast<idtype_t>(P_PIDFD), pidfd_, &info, options); });
  if (rc != 0) {
    if (errno == ECHILD) is_child_ = false;  // not ours, or collected through another handle
    return false;
  }
  if (info.si_pid == 0) return false;  // still running
  reaped_ = true;
  exit_status_ = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
  return true;
}

bool Process::IsAlive() const {
  if (pidfd_ < 0) return false;
  pollfd entry{pidfd_, POLLIN, 0};
  return RetryOnEintr([&] { return poll(&entry, 1, 0); }) == 0;
}

WaitResult Process::Wait(uint32_t timeout_ms) {
  if (pidfd_ < 0) {
    Fail(kErrorInvalidHandle);
    return WaitResult::kFailed;
  }
  const int ended = PollEnded(pidfd_, timeout_ms);
  if (ended < 0) {
    FailWithErrno(errno);
    return WaitResult::kFailed;
  }
  if (ended == 0) return WaitResult::kTimeout;
  TryReap();
  return WaitResult::kSignaled;
}

bool Process::GetExitCode(uint32_t* exit_code) {
  if (pidfd_ < 0) return Fail(kErrorInvalidHandle);
  if (TryReap()) {
    *exit_code = static_cast<uint32_t>(exit_status_);
    return true;
  }
  if (IsAlive()) {
    *exit_code = kStillActive;
    return true;
  }
  // Ended, but its status went to its own parent.
  return Fail(kErrorNotSupported);
}

bool Process::Terminate() {
  if (pidfd_ < 0) return Fail(kErrorInvalidHandle);
  if (PidfdSendSignal(pidfd_, SIGKILL) == 0 || errno == ESRCH) return true;
  return FailWithErrno(errno);
}

void Process::Close() {
  if (pidfd_ < 0) return;
  if (is_child_ && !reaped_ && !TryReap() && is_child_) {
    internal::ReapWhenEnded(pidfd_);  // takes the descriptor
  } else {
    close(pidfd_);
  }
  pidfd_ = -1;
  pid_ = 0;
  is_child_ = false;
  reaped_ = false;
  exit_status_ = 0;
}

pid_t CurrentProcessId() { return getpid(); }

}  // namespace kolvar::platform
