// A program for the notification tests: each start appends its command line and a newline to
// the file that KOLVAR_NOTIFY_RECORD names, in one write.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* record = std::getenv("KOLVAR_NOTIFY_RECORD");
  if (record == nullptr) return 2;
  const std::string line = std::string(argc > 1 ? argv[1] : "") + "\n";
  const int fd = open(record, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return 1;
  const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  return ok ? 0 : 1;
}
