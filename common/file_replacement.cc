// The twin, its flush and the rename over the target; see file_replacement.h.
#include "common/file_replacement.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file_sync.h"

namespace kolvar {
namespace {

// The largest piece handed to one platform write.
constexpr size_t kWritePiece = size_t{1} << 30;

}  // namespace

FileReplacement::FileReplacement(std::u16string_view target)
    : target_(target), twin_(std::u16string(target) + kReplacementTwinSuffix) {
  opened_ =
      file_.Open(twin_, platform::FileAccess::kWrite, platform::CreateDisposition::kCreateAlways);
  if (!opened_) Fail();
}

FileReplacement::~FileReplacement() {
  if (committed_ || !opened_) return;
  const uint32_t error = platform::GetLastError();
  file_.Close();
  platform::DeleteFile(twin_);
  platform::SetLastError(error);
}

void FileReplacement::Fail() {
  if (!failed_) error_ = platform::GetLastError();
  failed_ = true;
  platform::SetLastError(error_);
}

bool FileReplacement::Write(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (!failed_ && length > 0) {
    const auto piece = static_cast<uint32_t>(std::min(length, kWritePiece));
    uint32_t written = 0;
    if (!file_.Write(bytes, piece, &written)) {
      Fail();
    } else if (written != piece) {
      platform::SetLastError(platform::kErrorDiskFull);
      Fail();
    }
    bytes += piece;
    length -= piece;
  }
  if (failed_) platform::SetLastError(error_);
  return !failed_;
}

bool FileReplacement::Commit() {
  if (!failed_ && !file_.Flush()) Fail();
  if (opened_) file_.Close();
  if (!failed_ && !platform::ReplaceFile(twin_, target_)) Fail();
  if (failed_) return false;
  committed_ = true;
  platform::FlushContainingFolder(target_);
  platform::SetLastError(platform::kErrorSuccess);
  return true;
}

bool ReplaceFileContents(std::u16string_view target, const void* data, size_t length) {
  FileReplacement replacement(target);
  return replacement.Write(data, length) && replacement.Commit();
}

}  // namespace kolvar
