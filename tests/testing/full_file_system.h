// A real full disk for one folder of a test: a small tmpfs mounted on the folder and filled until
// only a few bytes remain, so that writes there fail as they fail on a full device (ENOSPC, the
// device's error 112). Mounting needs the right to mount (tests run as root); without it usable()
// is false and the test says so and skips. The file system is detached when the object goes,
// also while programs still hold files in it.
#ifndef KOLVAR_TESTS_TESTING_FULL_FILE_SYSTEM_H_
#define KOLVAR_TESTS_TESTING_FULL_FILE_SYSTEM_H_

#include <cstdint>
#include <string>

namespace kolvar::testing {

class FullFileSystem {
 public:
  // Mounts a file system of `size` bytes on `host_folder` (created when missing; what it held is
  // hidden meanwhile).
  FullFileSystem(const std::string& host_folder, uint64_t size);
  ~FullFileSystem();
  FullFileSystem(const FullFileSystem&) = delete;
  FullFileSystem& operator=(const FullFileSystem&) = delete;

  bool usable() const { return mounted_; }
  // Fills it until only `free_bytes` (rounded to pages) remain.
  void Fill(uint64_t free_bytes);
  // Bytes the file system still takes (what a write can use).
  uint64_t FreeBytes() const;

 private:
  std::string folder_;
  bool mounted_ = false;
  int fillers_ = 0;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_TESTING_FULL_FILE_SYSTEM_H_
