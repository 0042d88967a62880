// The signature database KVVirusDB.dat: 332-byte scrambled records, no header. Loading descrambles
// them into the signature table in file order; that slot order decides which signature wins when
// several match. The table grows past the device's 16 slots (a real database holds thousands) but
// never holds fewer than 16, so slots beyond the count read as zero as they always did.
#ifndef KOLVAR_SCAN_ENGINE_SIGNATURE_DATABASE_H_
#define KOLVAR_SCAN_ENGINE_SIGNATURE_DATABASE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar {

inline constexpr char16_t kSignatureDatabaseName[] = u"KVVirusDB.dat";
inline constexpr size_t kSignatureRecordSize = 332;
inline constexpr size_t kSignaturePatternCapacity = 256;
// The table always has at least this many slots (the device's fixed table).
inline constexpr size_t kSignatureTableMinSlots = 16;

// One descrambled record, as it lies in the file once descrambled.
// Layout: docs/formats.md#signature-database
struct SignatureRecord {
  uint32_t virus_id;
  uint8_t reserved[64];  // kept as loaded; nothing reads it
  uint8_t pattern[kSignaturePatternCapacity];
  int32_t length;  // pattern bytes used; records outside 1..256 are never loaded
  uint32_t type_mask;

  std::span<const uint8_t> Pattern() const {
    return {pattern, static_cast<size_t>(length < 0 ? 0 : length)};
  }
};
static_assert(sizeof(SignatureRecord) == kSignatureRecordSize);
static_assert(offsetof(SignatureRecord, virus_id) == 0);
static_assert(offsetof(SignatureRecord, reserved) == 4);
static_assert(offsetof(SignatureRecord, pattern) == 68);
static_assert(offsetof(SignatureRecord, length) == 324);
static_assert(offsetof(SignatureRecord, type_mask) == 328);

// Scrambles or descrambles one stored record in place (the operation is its own inverse): byte i
// is XORed with (i + 1) mod 256.
void ScrambleSignatureRecord(uint8_t (&bytes)[kSignatureRecordSize]);
// Stored (scrambled, little-endian) bytes of a record, and back.
void EncodeSignatureRecord(const SignatureRecord& record, uint8_t (&stored)[kSignatureRecordSize]);
SignatureRecord DecodeSignatureRecord(const uint8_t (&stored)[kSignatureRecordSize]);

// The database path of a program: its folder (the path cut after the last "\") followed by
// KVVirusDB.dat. False when the result would not fit a device path (260 characters with the NUL).
bool SignatureDatabasePathFor(std::u16string_view program_path, std::u16string* database_path);
// The same for the running program. False (last error set) when its path is unknown or too long.
bool SignatureDatabasePath(std::u16string* database_path);
// The start-up presence test: a directory entry exists at the path.
bool SignatureDatabasePresent(std::u16string_view database_path);

// What a load found besides the signatures it kept. A database is sound when every byte of it
// went into a usable signature: no record skipped, no partial record at its end, and at least one
// signature (a database that holds none would have every file reported clean).
struct SignatureLoadReport {
  uint32_t loaded = 0;           // signatures in the table
  uint32_t empty_patterns = 0;   // whole records of length 0: they would match every file
  uint32_t unsound_lengths = 0;  // whole records of a length outside 0..256
  uint32_t partial_bytes = 0;    // bytes of a record cut short at the end of the file

  uint32_t skipped() const { return empty_patterns + unsound_lengths + (partial_bytes ? 1 : 0); }
  bool usable() const { return loaded != 0; }
  bool sound() const { return usable() && skipped() == 0; }
};

// The reasons a report is not sound, in words, e.g. "2 of 14 records skipped (1 with an empty
// pattern, 1 cut short at the end of the file, 40 of 332 bytes)" or "the file is empty". Empty
// when the report is sound.
std::string DescribeSignatureLoad(const SignatureLoadReport& report);

class SignatureDatabase {
 public:
  SignatureDatabase();

  // Fills the table from the file. False, with the table empty and the platform's last error
  // set, when the file cannot be opened or a read fails; an empty file loads 0 records. Records
  // whose length lies outside 1..256 take no slot and are counted in skipped_count(): a pattern of
  // length 0 would match every file, so it is never a signature. A trailing partial record is
  // ignored and counted in the report. Whether the result can be trusted is report().sound().
  bool Load(std::u16string_view device_path);
  // The same from the bytes of a database file.
  void LoadFromBytes(std::span<const uint8_t> stored);

  // Records in the table, in slot order.
  uint32_t count() const { return count_; }
  std::span<const SignatureRecord> records() const { return {slots_.data(), count_}; }
  // Whole records refused at the last load for an empty or unsound length.
  uint32_t skipped_count() const { return report_.empty_patterns + report_.unsound_lengths; }
  const SignatureLoadReport& report() const { return report_; }
  // Slots of the table: max(16, count); slots from count on are zero-filled.
  size_t slot_count() const { return slots_.size(); }
  const SignatureRecord& slot(size_t index) const { return slots_[index]; }

 private:
  void Clear();
  // Takes one stored record: descrambles it and appends it unless its length is empty or unsound.
  void Append(const uint8_t (&stored)[kSignatureRecordSize]);

  std::vector<SignatureRecord> slots_;
  uint32_t count_ = 0;
  SignatureLoadReport report_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SIGNATURE_DATABASE_H_
