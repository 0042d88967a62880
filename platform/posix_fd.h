// Internal to platform/: descriptor ownership and the one EINTR loop of the layer, so that every
// system call that can be interrupted is retried the same way.
#ifndef KOLVAR_PLATFORM_POSIX_FD_H_
#define KOLVAR_PLATFORM_POSIX_FD_H_

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kolvar::platform::internal {

// Calls `call` again while it fails with EINTR; returns its last result (errno kept).
template <typename Call>
auto RetryOnEintr(Call&& call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// Owns one descriptor; closes it on destruction without disturbing errno.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);  // never retried: the descriptor is gone even when close reports EINTR
      errno = saved;
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace kolvar::platform::internal

#endif  // KOLVAR_PLATFORM_POSIX_FD_H_
