// The infection list, the remembered actions and the result file "inffile.lst".
#include "scan_engine/infection_list.h"

#include <cstring>

#include "common/file_replacement.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

constexpr char16_t kInfectionFileName[] = u"inffile.lst";

// Reads exactly `length` bytes; *whole tells whether they all came.
bool ReadWhole(platform::File& file, void* data, uint32_t length, bool* whole) {
  uint32_t got = 0;
  if (!file.Read(data, length, &got)) return false;
  *whole = got == length;
  return true;
}

}  // namespace

bool InfectionRecordPath(const InfectionRecord& record, std::u16string* full_path) {
  if (record.cut != 0 || !WideFieldTerminated(record.folder) ||
      !WideFieldTerminated(record.file_name)) {
    return false;
  }
  *full_path = platform::JoinPath(WideField(record.folder), WideField(record.file_name));
  return true;
}

bool InfectionRecordPathToActOn(const InfectionRecord& record, const UserNotice& notice,
                                std::u16string* full_path) {
  if (InfectionRecordPath(record, full_path)) return true;
  if (notice) {
    notice(FormatText(kPathCutMessage, {InfectionRecordShownPath(record)}), platform::kMbIconError);
  }
  return false;
}

std::u16string InfectionRecordShownPath(const InfectionRecord& record) {
  return platform::JoinPath(WideField(record.folder), WideField(record.file_name));
}

std::u16string Infection::FullPath() const { return platform::JoinPath(folder, file_name); }

Infection& InfectionList::Append(std::u16string_view folder, std::u16string_view file_name,
                                 uint32_t value, uint32_t virus_id, uint8_t action) {
  Infection& item = items_.emplace_back();
  item.record = ZeroRecord<InfectionRecord>();
  item.record.sequence = static_cast<uint32_t>(items_.size() - 1);
  if (!SetWideField(item.record.folder, folder)) item.record.cut |= kCutFolder;
  if (!SetWideField(item.record.file_name, file_name)) item.record.cut |= kCutFileName;
  item.record.value = value;
  item.record.virus_id = virus_id;
  item.record.action = action;
  item.folder.assign(folder);
  item.file_name.assign(file_name);
  return item;
}

void InfectionList::Clear() { items_.clear(); }

void RememberedActions::Remember(uint32_t virus_id, uint8_t action) {
  entries_.emplace_back(virus_id, action);
}

uint8_t RememberedActions::Lookup(uint32_t virus_id) const {
  for (const auto& [id, action] : entries_) {
    if (id == virus_id) return action;
  }
  return kActionNone;
}

bool SetInfectionAction(InfectionList& list, RememberedActions& remembered, uint32_t virus_id,
                        uint8_t action) {
  const bool valid = action >= kActionDelete && action <= kActionIgnoreAll;
  for (Infection& item : list) {
    if (item.answered || item.record.action != kActionNone || item.record.virus_id != virus_id) {
      continue;
    }
    item.answered = true;
    if (!valid) return false;
    item.record.action = action;
    if (action == kActionMoveAll || action == kActionIgnoreAll) {
      remembered.Remember(virus_id, action);
    }
    return true;
  }
  return false;
}

bool InfectionFilePath(std::u16string* path) {
  std::u16string temp;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kTemp, &temp)) return false;
  *path = platform::JoinPath(temp, kInfectionFileName);
  return true;
}

bool WriteInfectionRecords(const InfectionList& list, std::u16string_view path) {
  FileReplacement replacement(path);
  const uint32_t count = list.Count();
  bool ok = replacement.Write(&count, sizeof(count));
  for (const Infection& item : list) {
    if (!ok) break;
    ok = replacement.WriteRecord(item.record);
  }
  return ok && replacement.Commit();
}

bool ReadInfectionFile(std::u16string_view path, InfectionFile* contents) {
  *contents = InfectionFile();
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  bool whole = false;
  if (!ReadWhole(file, &contents->declared_count, sizeof(contents->declared_count), &whole)) {
    return false;
  }
  if (!whole) {
    contents->damaged = true;
    return platform::Fail(platform::kErrorHandleEof);
  }
  while (contents->records.size() < contents->declared_count) {
    InfectionRecord record;
    if (!ReadWhole(file, &record, sizeof(record), &whole) || !whole) {
      contents->damaged = true;
      return true;
    }
    if (!WideFieldTerminated(record.folder) || !WideFieldTerminated(record.file_name)) {
      // Such a record cannot name a file; it stays visible but is never acted on.
      record.cut |= kCutFolder | kCutFileName;
      record.folder[kInfectionFieldChars - 1] = u'\0';
      record.file_name[kInfectionFieldChars - 1] = u'\0';
      contents->damaged = true;
    }
    record.next_link = 0;
    record.previous_link = 0;
    contents->records.push_back(record);
  }
  char extra = 0;
  uint32_t got = 0;
  if (file.Read(&extra, 1, &got) && got != 0) contents->damaged = true;
  return true;
}

}  // namespace kolvar
