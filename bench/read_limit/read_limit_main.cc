// read_limit FOLDER: reads every regular file below FOLDER (without following links) through one
// reused 1 MiB buffer, sequential advice given, and prints "<files> <bytes>". This is the read
// limit of the scan throughput benchmark: GNU cat maps a fresh buffer per file and so measures
// a little more than reading. A benchmark tool, so it calls POSIX directly.
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

std::vector<char> buffer(1 << 20);
uint64_t files = 0;
uint64_t bytes = 0;
int failures = 0;

int Visit(const char* path, const struct stat* /*info*/, int type, struct FTW* /*where*/) {
  if (type != FTW_F) return 0;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    ++failures;
    return 0;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got <= 0) {
      if (got < 0) ++failures;
      break;
    }
    bytes += static_cast<uint64_t>(got);
  }
  close(fd);
  ++files;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read_limit FOLDER\n");
    return 2;
  }
  if (nftw(argv[1], Visit, 64, FTW_PHYS) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  std::printf("%llu %llu\n", static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(bytes));
  return failures == 0 ? 0 : 1;
}
