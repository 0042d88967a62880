// The quarantine's entries; see repository_entries.h.
#include "antivirus/repository_entries.h"

#include "antivirus/resource_strings.h"
#include "common/message_text.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/virus_details.h"

namespace kolvar {

bool ReadRepositoryEntries(const InstallPaths& paths, std::vector<RepositoryEntry>* entries) {
  entries->clear();
  std::vector<RepositoryRecord> records;
  if (!ReadRepositoryIndex(paths.repository_index, &records)) return false;
  // Read once: a lookup per entry would read the detail file again for every row.
  std::vector<VirusDetailRecord> details;
  ReadVirusDetails(paths.virus_details, &details);
  for (const RepositoryRecord& record : records) {
    RepositoryEntry entry;
    entry.number = entries->size() + 1;
    entry.record = record;
    for (const VirusDetailRecord& detail : details) {
      if (detail.virus_id == record.virus_id) {
        entry.virus_name = detail.Name();
        break;
      }
    }
    entry.home_path = platform::JoinPath(WideField(record.folder), WideField(record.file_name));
    entry.protected_path = ProtectedPathOf(paths.quarantine_folder, record);
    entry.protected_copy_present = platform::FileExists(entry.protected_path);
    entries->push_back(std::move(entry));
  }
  return true;
}

std::u16string UnreadableIndexText(const InstallPaths& paths) {
  return FormatText(strings::kIndexUnreadable,
                    {paths.repository_index, SystemErrorText(platform::GetLastError())});
}

}  // namespace kolvar
