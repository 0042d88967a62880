// The virus list's reading; see virus_list.h.
#include "antivirus/virus_list.h"

#include <cstring>

#include "common/message_text.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"

namespace kolvar {

VirusList ReadVirusList(std::u16string_view path) {
  VirusList list;
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
      list.missing = true;
    } else {
      list.read_error = error;
    }
    return list;
  }
  for (;;) {
    VirusDetailRecord record;
    std::memset(&record, 0, sizeof record);
    uint32_t read = 0;
    if (!file.Read(&record, sizeof record, &read)) {
      list.read_error = platform::GetLastError();
      break;
    }
    if (read < sizeof record) {
      list.trailing_bytes = read;
      break;
    }
    list.records.push_back(record);
  }
  return list;
}

std::u16string VirusListProblem(const VirusList& list, std::u16string_view path) {
  if (list.missing) {
    return FormatText(u"The virus database '%s' is missing.", {path});
  }
  if (list.read_error != 0) {
    return FormatText(
        u"The virus database '%s' could not be read whole (%s); %s viruses are shown.",
        {path, SystemErrorText(list.read_error),
         DecimalText(static_cast<int64_t>(list.records.size()))});
  }
  if (list.trailing_bytes != 0) {
    return FormatText(
        u"The virus database '%s' is damaged: its last %s bytes are no whole record; %s viruses "
        u"are shown.",
        {path, DecimalText(static_cast<int64_t>(list.trailing_bytes)),
         DecimalText(static_cast<int64_t>(list.records.size()))});
  }
  return {};
}

}  // namespace kolvar
