// The update history file; see history_file.h.
#include "antivirus/history_file.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"

namespace kolvar {
namespace {

constexpr uint32_t kBlockSize = 8192;

void AddLine(std::string& line, std::vector<std::u16string>* lines) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  lines->push_back(platform::Utf8ToUtf16Lossy(line));
  line.clear();
}

}  // namespace

bool ReadHistoryLines(std::u16string_view path, std::vector<std::u16string>* lines) {
  lines->clear();
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    const uint32_t error = platform::GetLastError();
    return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
  }
  std::string line;
  char block[kBlockSize];
  for (;;) {
    uint32_t read = 0;
    if (!file.Read(block, kBlockSize, &read)) return false;
    for (uint32_t index = 0; index < read; ++index) {
      if (block[index] == '\n') {
        AddLine(line, lines);
      } else {
        line += block[index];
      }
    }
    if (read < kBlockSize) break;
  }
  if (!line.empty()) AddLine(line, lines);
  return true;
}

}  // namespace kolvar
