// Loading KVVirusDB.dat into the signature table, and the record's stored form.
#include "scan_engine/signature_database.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {
namespace {

// Records fetched per read while loading.
constexpr size_t kRecordsPerRead = 256;

void PutLittleEndian32(uint32_t value, uint8_t* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

bool IsSoundLength(int32_t length) {
  return length >= 0 && length <= static_cast<int32_t>(kSignaturePatternCapacity);
}

}  // namespace

void ScrambleSignatureRecord(uint8_t (&bytes)[kSignatureRecordSize]) {
  // The device's form: a key counting down from 254 (wrapping to 255), applied as NOT then XOR,
  // which reduces to XOR with (i + 1) mod 256.
  int key = 255;
  for (size_t i = 0; i < kSignatureRecordSize; ++i) {
    if (--key < 0) key = 255;
    bytes[i] = static_cast<uint8_t>(~bytes[i] ^ key);
  }
}

void EncodeSignatureRecord(const SignatureRecord& record, uint8_t (&stored)[kSignatureRecordSize]) {
  std::memset(stored, 0, sizeof(stored));
  PutLittleEndian32(record.virus_id, stored + offsetof(SignatureRecord, virus_id));
  std::memcpy(stored + offsetof(SignatureRecord, reserved), record.reserved,
              sizeof(record.reserved));
  std::memcpy(stored + offsetof(SignatureRecord, pattern), record.pattern, sizeof(record.pattern));
  PutLittleEndian32(static_cast<uint32_t>(record.length),
                    stored + offsetof(SignatureRecord, length));
  PutLittleEndian32(record.type_mask, stored + offsetof(SignatureRecord, type_mask));
  ScrambleSignatureRecord(stored);
}

SignatureRecord DecodeSignatureRecord(const uint8_t (&stored)[kSignatureRecordSize]) {
  uint8_t plain[kSignatureRecordSize];
  std::memcpy(plain, stored, sizeof(plain));
  ScrambleSignatureRecord(plain);
  SignatureRecord record;
  std::memset(&record, 0, sizeof(record));
  record.virus_id = GetLittleEndian32(plain + offsetof(SignatureRecord, virus_id));
  std::memcpy(record.reserved, plain + offsetof(SignatureRecord, reserved),
              sizeof(record.reserved));
  std::memcpy(record.pattern, plain + offsetof(SignatureRecord, pattern), sizeof(record.pattern));
  record.length =
      static_cast<int32_t>(GetLittleEndian32(plain + offsetof(SignatureRecord, length)));
  record.type_mask = GetLittleEndian32(plain + offsetof(SignatureRecord, type_mask));
  return record;
}

bool SignatureDatabasePathFor(std::u16string_view program_path, std::u16string* database_path) {
  const size_t cut = program_path.rfind(u'\\');
  std::u16string path(program_path.substr(0, cut == std::u16string_view::npos ? 0 : cut + 1));
  path += kSignatureDatabaseName;
  if (path.size() >= platform::kMaxPath) return false;
  *database_path = std::move(path);
  return true;
}

bool SignatureDatabasePath(std::u16string* database_path) {
  std::u16string program;
  if (!platform::RunningProgramPath(&program)) return false;
  if (!SignatureDatabasePathFor(program, database_path)) {
    platform::SetLastError(platform::kErrorFilenameExcedRange);
    return false;
  }
  return true;
}

bool SignatureDatabasePresent(std::u16string_view database_path) {
  platform::FileInfo info;
  return platform::GetFileInfo(database_path, &info);
}

std::string DescribeSignatureLoad(const SignatureLoadReport& report) {
  if (report.sound()) return {};
  const uint32_t records = report.loaded + report.skipped();
  if (records == 0) return "the file is empty";
  std::string reasons;
  auto add = [&reasons](const std::string& reason) {
    reasons += (reasons.empty() ? "" : ", ") + reason;
  };
  if (report.empty_patterns != 0) {
    add(std::to_string(report.empty_patterns) + " with an empty pattern");
  }
  if (report.unsound_lengths != 0) {
    add(std::to_string(report.unsound_lengths) + " with an impossible pattern length");
  }
  if (report.partial_bytes != 0) {
    add("1 cut short at the end of the file, " + std::to_string(report.partial_bytes) + " of " +
        std::to_string(kSignatureRecordSize) + " bytes");
  }
  std::string text = std::to_string(report.skipped()) + " of " + std::to_string(records) +
                     (records == 1 ? " record" : " records") + " skipped (" + reasons + ")";
  if (!report.usable()) text += ", no usable signature";
  return text;
}

SignatureDatabase::SignatureDatabase() { Clear(); }

void SignatureDatabase::Clear() {
  slots_.assign(kSignatureTableMinSlots, SignatureRecord{});
  count_ = 0;
  report_ = {};
}

void SignatureDatabase::Append(const uint8_t (&stored)[kSignatureRecordSize]) {
  const SignatureRecord record = DecodeSignatureRecord(stored);
  if (!IsSoundLength(record.length)) {
    ++report_.unsound_lengths;
    return;
  }
  if (record.length == 0) {
    ++report_.empty_patterns;
    return;
  }
  if (count_ == slots_.size()) slots_.resize(slots_.size() * 2, SignatureRecord{});
  slots_[count_++] = record;
  report_.loaded = count_;
}

void SignatureDatabase::LoadFromBytes(std::span<const uint8_t> stored) {
  Clear();
  const size_t whole = stored.size() / kSignatureRecordSize;
  for (size_t i = 0; i < whole; ++i) {
    Append(*reinterpret_cast<const uint8_t(*)[kSignatureRecordSize]>(stored.data() +
                                                                     i * kSignatureRecordSize));
  }
  report_.partial_bytes = static_cast<uint32_t>(stored.size() - whole * kSignatureRecordSize);
}

bool SignatureDatabase::Load(std::u16string_view device_path) {
  Clear();
  platform::File file;
  if (!file.Open(device_path, platform::FileAccess::kRead,
                 platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  constexpr size_t kBufferSize = kRecordsPerRead * kSignatureRecordSize;
  auto buffer = std::make_unique<uint8_t[]>(kBufferSize);
  size_t filled = 0;
  for (;;) {
    uint32_t got = 0;
    if (!file.Read(buffer.get() + filled, static_cast<uint32_t>(kBufferSize - filled), &got)) {
      // A device read error would have kept the old loop reading forever; a damaged medium
      // fails the load instead of yielding a partial table.
      const uint32_t error = platform::GetLastError();
      Clear();
      platform::SetLastError(error);
      return false;
    }
    if (got == 0) break;
    filled += got;
    const size_t whole = filled / kSignatureRecordSize;
    for (size_t i = 0; i < whole; ++i) {
      Append(*reinterpret_cast<const uint8_t(*)[kSignatureRecordSize]>(buffer.get() +
                                                                       i * kSignatureRecordSize));
    }
    const size_t rest = filled - whole * kSignatureRecordSize;
    std::memmove(buffer.get(), buffer.get() + whole * kSignatureRecordSize, rest);
    filled = rest;
  }
  // The bytes of a final partial record take no slot; the report tells of them.
  report_.partial_bytes = static_cast<uint32_t>(filled);
  return true;
}

}  // namespace kolvar
