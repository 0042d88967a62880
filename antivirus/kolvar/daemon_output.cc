// Following the background programs' output file; see daemon_output.h.
#include "antivirus/kolvar/daemon_output.h"

#include "platform/file.h"

namespace kolvar {
namespace {

// More than this at once is not a message box; the rest is skipped.
constexpr uint64_t kMaxChunk = 64 * 1024;

}  // namespace

DaemonOutputFollower::DaemonOutputFollower(std::u16string path) : path_(std::move(path)) {}

void DaemonOutputFollower::StartHere() {
  platform::FileInfo info;
  offset_ = !path_.empty() && platform::GetFileInfo(path_, &info) ? info.size : 0;
  pending_.clear();
}

std::vector<std::string> DaemonOutputFollower::TakeNewLines() { return Take(false); }

std::vector<std::string> DaemonOutputFollower::TakeRemainingLines() { return Take(true); }

std::vector<std::string> DaemonOutputFollower::Take(bool partial_too) {
  std::vector<std::string> lines;
  platform::File file;
  uint64_t size = 0;
  if (!path_.empty() &&
      file.Open(path_, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting) &&
      file.GetSize(&size)) {
    if (size < offset_) {
      offset_ = 0;
      pending_.clear();
    }
    if (size - offset_ > kMaxChunk) offset_ = size - kMaxChunk;
    if (size > offset_ && file.Seek(static_cast<int64_t>(offset_), platform::SeekOrigin::kBegin)) {
      std::string bytes(static_cast<size_t>(size - offset_), '\0');
      uint32_t got = 0;
      if (file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got)) {
        bytes.resize(got);
        offset_ += got;
        pending_ += bytes;
      }
    }
  }
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(pending_.substr(start, end - start));
  }
  pending_.erase(0, start);
  if (partial_too && !pending_.empty()) {
    lines.push_back(pending_);
    pending_.clear();
  }
  return lines;
}

}  // namespace kolvar
