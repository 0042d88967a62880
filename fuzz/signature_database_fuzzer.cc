// KVVirusDB.dat from outside: the load from a file and from bytes must agree, every loaded record
// must be sound, and the fast matcher built from the table must decide every file as the device's
// literal chunk loop does (the input itself, and a file made of each pattern, under each class).
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "scan_engine/chunk_loop_oracle.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/signature_matcher.h"

namespace {

using namespace kolvar;

constexpr char16_t kDatabase[] = u"\\Program Files\\Kolvar\\KVVirusDB.dat";
const char16_t* const kNames[] = {u"a.exe", u"b.TXT", u"noclass"};
// The literal loop searches every window of a 16 KiB chunk per signature: the comparison is kept
// to tables of a few records so that an input runs in milliseconds.
constexpr size_t kOracleRecords = 8;

void CheckAgainstOracle(const SignatureMatcher& matcher, std::span<const SignatureRecord> table,
                        std::span<const uint8_t> content) {
  if (content.empty()) return;  // the walker never passes an empty file
  for (const char16_t* name : kNames) {
    uint32_t fast_id = 0, oracle_id = 0;
    const int fast = matcher.MatchBytes(name, content, &fast_id);
    const int oracle = testing::OracleMatch(table, name, content, &oracle_id);
    fuzz::Check(fast == oracle, "the matcher and the device's chunk loop disagree on the result");
    fuzz::Check(fast_id == oracle_id, "the matcher reports another virus id than the chunk loop");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  fuzz::WriteDeviceFile(kDatabase, bytes);
  SignatureDatabase from_file;
  const bool loaded = from_file.Load(kDatabase);
  SignatureDatabase from_bytes;
  from_bytes.LoadFromBytes(bytes);
  if (loaded) {
    fuzz::Check(from_file.count() == from_bytes.count(), "file and bytes load different tables");
  }
  fuzz::Check(from_bytes.count() + from_bytes.skipped_count() == size / kSignatureRecordSize,
              "a whole record was neither loaded nor counted as skipped");
  fuzz::Check(from_bytes.slot_count() >= kSignatureTableMinSlots, "the table has too few slots");
  for (const SignatureRecord& record : from_bytes.records()) {
    fuzz::Check(record.length >= 1 && record.length <= 256, "an unsound record was loaded");
  }
  fuzz::Check(from_bytes.report().partial_bytes == size % kSignatureRecordSize,
              "a record cut short at the end was not reported");
  fuzz::Check(from_bytes.report().sound() == (size % kSignatureRecordSize == 0 &&
                                              from_bytes.skipped_count() == 0 && size != 0),
              "a damaged database passed for sound");

  SignatureMatcher matcher;
  if (!matcher.Build(from_bytes.records())) return 0;
  if (from_bytes.count() > kOracleRecords) return 0;
  CheckAgainstOracle(matcher, from_bytes.records(), bytes);
  std::vector<uint8_t> planted(3 * kSignaturePatternCapacity, 'x');
  for (const SignatureRecord& record : from_bytes.records()) {
    const std::span<const uint8_t> pattern = record.Pattern();
    std::copy(pattern.begin(), pattern.end(), planted.begin() + kSignaturePatternCapacity);
    CheckAgainstOracle(matcher, from_bytes.records(), planted);
  }
  return 0;
}
