// The reaper thread: epoll over the pidfds of children nobody waits for any more. It is started on
// first use, detached, and lives until the process ends; it owns nothing that static destructors
// could tear down under it.
#include "platform/process_reaper_linux.h"

#include <sys/epoll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/posix_fd.h"

namespace kolvar::platform::internal {
namespace {

void ReapNow(int pidfd) {
  siginfo_t info{};
  RetryOnEintr([&] { return waitid(static_cast<idtype_t>(P_PIDFD), pidfd, &info, WEXITED); });
  close(pidfd);
}

[[noreturn]] void ReaperLoop(int epoll_fd) {
  epoll_event events[16];
  for (;;) {
    const int n = epoll_wait(epoll_fd, events, 16, -1);
    for (int i = 0; i < n; ++i) {
      const int pidfd = events[i].data.fd;
      epoll_ctl(epoll_fd, EPOLL_CTL_DEL, pidfd, nullptr);
      ReapNow(pidfd);  // readable: the child has ended, so this does not block
    }
  }
}

int ReaperEpoll() {
  static int epoll_fd = -1;
  static std::once_flag once;
  std::call_once(once, [] {
    const int fd = epoll_create1(EPOLL_CLOEXEC);
    if (fd < 0) return;
    try {
      std::thread(ReaperLoop, fd).detach();
      epoll_fd = fd;
    } catch (...) {
      close(fd);
    }
  });
  return epoll_fd;
}

}  // namespace

void ReapWhenEnded(int pidfd) {
  const int epoll_fd = ReaperEpoll();
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = pidfd;
  if (epoll_fd >= 0 && epoll_ctl(epoll_fd, EPOLL_CTL_ADD, pidfd, &event) == 0) return;
  try {
    std::thread(ReapNow, pidfd).detach();
  } catch (...) {
    close(pidfd);  // no thread to spare: the system's reaper takes it when this process ends
  }
}

}  // namespace kolvar::platform::internal
