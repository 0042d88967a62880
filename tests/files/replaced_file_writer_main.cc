// Rewrites one replaced file until it is killed. Its one command-line argument is
// "FILE PATH FIRST": the file's word (replaced_files.h), the device path, and the version to
// write first; the versions then alternate. Ends with 1 when a write fails.
#include <sstream>
#include <string>

#include "tests/files/replaced_files.h"

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::istringstream in(argv[1]);
  std::string word, path;
  int version = 0;
  in >> word >> path >> version;
  kolvar::testing::ReplacedFile file;
  if (!kolvar::testing::ReplacedFileFromWord(word, &file) || (version != 1 && version != 2)) {
    return 1;
  }
  const std::u16string device_path(path.begin(), path.end());
  for (;;) {
    if (!kolvar::testing::WriteReplacedFile(file, device_path, version)) return 1;
    version = 3 - version;
  }
}
