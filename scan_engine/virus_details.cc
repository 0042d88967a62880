// Reading, looking up and writing the 1044-byte records of KVVirusDBDet.dat.
#include "scan_engine/virus_details.h"

#include <bit>
#include <cstring>
#include <memory>

#include "platform/error.h"
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
  constexpr size_t kBufferSize = kRecordsPerRead * kVirusDetailRecordSize;
  auto buffer = std::make_unique<uint8_t[]>(kBufferSize);
  size_t filled = 0;
  for (;;) {
    uint32_t got = 0;
    if (!file.Read(buffer.get() + filled, static_cast<uint32_t>(kBufferSize - filled), &got)) {
      return false;
    }
    if (got == 0) return true;
    filled += got;
    const size_t whole = filled / kVirusDetailRecordSize;
    for (size_t i = 0; i < whole; ++i) {
      VirusDetailRecord record;
      std::memcpy(&record, buffer.get() + i * kVirusDetailRecordSize, sizeof(record));
      if (!take(record)) return true;
    }
    const size_t rest = filled - whole * kVirusDetailRecordSize;
    std::memmove(buffer.get(), buffer.get() + whole * kVirusDetailRecordSize, rest);
    filled = rest;
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
  // Written beside the target and renamed over it, so a reader sees the old file or the new one.
  std::u16string temporary(database_path);
  temporary += u".new";
  platform::File file;
  if (!file.Open(temporary, platform::FileAccess::kWrite,
                 platform::CreateDisposition::kCreateAlways)) {
    return false;
  }
  bool ok = true;
  for (const VirusDetailRecord& record : records) {
    uint32_t written = 0;
    if (!file.Write(&record, sizeof(record), &written) || written != sizeof(record)) {
      ok = false;
      break;
    }
  }
  ok = ok && file.Flush();
  const uint32_t error = platform::GetLastError();
  file.Close();
  if (ok && platform::ReplaceFile(temporary, database_path)) return true;
  const uint32_t failure = ok ? platform::GetLastError() : error;
  platform::DeleteFile(temporary);
  platform::SetLastError(failure);
  return false;
}

}  // namespace kolvar
