// KVVirusDBDet.dat from outside: whole records in file order, a lookup that finds the first
// record of an id (or the not-found record), texts that end within their fields and convert for
// showing, and a rewrite that reads back the same.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/text.h"
#include "scan_engine/virus_details.h"

namespace {

using namespace kolvar;

constexpr char16_t kDetails[] = u"\\Program Files\\Kolvar\\KVVirusDBDet.dat";
constexpr char16_t kRewritten[] = u"\\Program Files\\Kolvar\\KVVirusDBDet-again.dat";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteDeviceFile(kDetails, {data, size});
  std::vector<VirusDetailRecord> records;
  fuzz::Check(ReadVirusDetails(kDetails, &records), "a readable detail file was refused");
  fuzz::Check(records.size() == size / kVirusDetailRecordSize, "whole records went missing");
  for (const VirusDetailRecord& record : records) {
    fuzz::Check(record.Name().size() <= kVirusNameMaxLength + 1, "a name runs past its field");
    platform::Utf16ToUtf8(record.Name());
    platform::Utf16ToUtf8(record.Description());
    platform::Utf16ToUtf8(record.Recommendation());
    VirusDetailRecord found;
    fuzz::Check(LookUpVirusDetail(kDetails, record.virus_id, &found), "a listed id is not found");
    for (const VirusDetailRecord& first : records) {
      if (first.virus_id != record.virus_id) continue;
      fuzz::Check(std::memcmp(&first, &found, sizeof(found)) == 0,
                  "the lookup did not give the first record of the id");
      break;
    }
  }
  VirusDetailRecord missing;
  if (!LookUpVirusDetail(kDetails, 0xFFFFFFFEu, &missing)) {
    fuzz::Check(missing.virus_id == 0 && missing.Name().empty(), "not found, but not empty");
  }
  if (!WriteVirusDetails(kRewritten, records)) return 0;
  std::vector<VirusDetailRecord> again;
  fuzz::Check(ReadVirusDetails(kRewritten, &again) && again.size() == records.size(),
              "a written detail file reads back short");
  fuzz::Check(again.empty() || std::memcmp(again.data(), records.data(),
                                           records.size() * sizeof(records[0])) == 0,
              "a written detail file reads back different");
  return 0;
}
