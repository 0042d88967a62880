// Reading, looking up and writing the 1044-byte records of KVVirusDBDet.dat.
#include "scan_engine/virus_details.h"

#include <bit>
#include <cstring>

#include "common/file_replacement.h"
#include "platform/file.h"
#include "platform/text.h"

namespace kolvar {

// The record is kept in memory exactly as stored; that holds on little-endian hosts only.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kRecordsPerRead = 64;

// Copies `text` into a zero-filled field of `capacity` characters, keeping room for the
// terminating zero. False when it had to be cut.
bool FillField(std::u16string_view text, char16_t* field, size_t capacity) {
  const size_t length = std::min(text.size(), capacity - 1);
  std::memset(field, 0, capacity * sizeof(char16_t));
  std::memcpy(field, text.data(), length * sizeof(char16_t));
  return length == text.size();
}

// Reads whole records from the file, handing each to `take` until it returns false. False (last
// error set) when the file cannot be opened or a read fails.
template <typename Take>
bool ForEachRecord(std::u16string_view database_path, Take&& take) {
  platform::File file;
  if (!file.Open(database_path, platform::FileAccess::kRead,
                 platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  std::vector<VirusDetailRecord> buffer(kRecordsPerRead);
  constexpr auto kBufferBytes = static_cast<uint32_t>(kRecordsPerRead * kVirusDetailRecordSize);
  for (;;) {
    // A short read comes only at the end of the file; a partial record there is ignored.
    uint32_t got = 0;
    if (!file.Read(buffer.data(), kBufferBytes, &got)) return false;
    for (size_t i = 0; i < got / kVirusDetailRecordSize; ++i) {
      if (!take(buffer[i])) return true;
    }
    if (got < kBufferBytes) return true;
  }
}

}  // namespace

std::u16string VirusDetailRecord::Name() const {
  return std::u16string(name, platform::BoundedLength(name, std::size(name)));
}
std::u16string VirusDetailRecord::Description() const {
  return std::u16string(description, platform::BoundedLength(description, std::size(description)));
}
std::u16string VirusDetailRecord::Recommendation() const {
  return std::u16string(recommendation,
                        platform::BoundedLength(recommendation, std::size(recommendation)));
}

bool MakeVirusDetailRecord(uint32_t virus_id, std::u16string_view name,
                           std::u16string_view description, std::u16string_view recommendation,
                           VirusDetailRecord* record) {
  std::memset(record, 0, sizeof(*record));
  record->virus_id = virus_id;
  bool whole = FillField(name, record->name, std::size(record->name));
  whole &= FillField(description, record->description, std::size(record->description));
  whole &= FillField(recommendation, record->recommendation, std::size(record->recommendation));
  return whole;
}

bool LookUpVirusDetail(std::u16string_view database_path, uint32_t virus_id,
                       VirusDetailRecord* record) {
  std::memset(record, 0, sizeof(*record));
  bool found = false;
  ForEachRecord(database_path, [&](const VirusDetailRecord& candidate) {
    if (candidate.virus_id != virus_id) return true;
    *record = candidate;
    found = true;
    return false;
  });
  return found;
}

bool ReadVirusDetails(std::u16string_view database_path, std::vector<VirusDetailRecord>* records) {
  records->clear();
  return ForEachRecord(database_path, [&](const VirusDetailRecord& record) {
    records->push_back(record);
    return true;
  });
}

bool WriteVirusDetails(std::u16string_view database_path,
                       const std::vector<VirusDetailRecord>& records) {
  return ReplaceFileContents(database_path, records.data(), records.size() * sizeof(records[0]));
}

}  // namespace kolvar
