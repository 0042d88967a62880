// A scoped lower file-size limit for this process, so that writes past it fail as on a full disk.
// Tests run as root, where a read-only folder stops nothing; RLIMIT_FSIZE still does.
#ifndef KOLVAR_TESTS_TESTING_FILE_SIZE_LIMIT_H_
#define KOLVAR_TESTS_TESTING_FILE_SIZE_LIMIT_H_

#include <signal.h>
#include <sys/resource.h>

namespace kolvar::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_TESTING_FILE_SIZE_LIMIT_H_
