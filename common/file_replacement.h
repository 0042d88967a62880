// Replacing a file whole, the one way every file the suite rewrites is written (the configuration
// store, the scan result file, the quarantine index, the signature and virus detail databases).
// The new contents go to a twin beside the target (the target's path followed by ".new", so on
// the same file system), which is flushed to the disk and renamed over the target; then the folder
// is flushed, so that the rename itself survives a power cut. A reader, a program killed at any
// moment or a crash therefore finds the old file or the new one, never a part of either. A
// replacement that fails or is abandoned removes its twin and leaves the target as it was; a twin
// left by a killed writer is simply written over by the next one.
#ifndef KOLVAR_COMMON_FILE_REPLACEMENT_H_
#define KOLVAR_COMMON_FILE_REPLACEMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace kolvar {

inline constexpr char16_t kReplacementTwinSuffix[] = u".new";

class FileReplacement {
 public:
  // Opens the twin of `target` (created or truncated, private to the user).
  explicit FileReplacement(std::u16string_view target);
  // Removes the twin unless the replacement was committed.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Whether the twin could be opened; false with the last error set otherwise.
  bool opened() const { return opened_; }

  // Appends to the twin. False with the last error set (112 for a short write) once any step has
  // failed; writes after a failure do nothing.
  bool Write(const void* data, size_t length);
  template <typename Record>
  bool WriteRecord(const Record& record) {
    return Write(&record, sizeof(record));
  }

  // Flushes and closes the twin and renames it over the target, then flushes the folder (whose
  // failure is not reported: the old file is whole until then, the new one after). False, with
  // the last error of the first failed step set and the target unchanged, when anything failed.
  bool Commit();

 private:
  void Fail();

  std::u16string target_;
  std::u16string twin_;
  platform::File file_;
  bool opened_ = false;
  bool failed_ = false;
  bool committed_ = false;
  uint32_t error_ = 0;  // the first failure's last error
};

// The whole file in one call: `length` bytes of `data` replace the target.
bool ReplaceFileContents(std::u16string_view target, const void* data, size_t length);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_FILE_REPLACEMENT_H_
