// inffile.lst from outside: the reader keeps what it read in full, never more than the file's
// count, marks what cannot name a file, and a record it will act on names a path that maps to
// the host; writing the records back and reading them again gives the same records.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_records.h"

namespace {

using namespace kolvar;

constexpr char16_t kResultFile[] = u"\\Temp\\inffile.lst";
constexpr char16_t kRewritten[] = u"\\Temp\\inffile-again.lst";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteDeviceFile(kResultFile, {data, size});
  InfectionFile contents;
  if (!ReadInfectionFile(kResultFile, &contents)) {
    fuzz::Check(size < sizeof(uint32_t), "a file holding its count was refused");
    return 0;
  }
  fuzz::Check(contents.records.size() <= contents.declared_count, "more records than counted");
  fuzz::Check(contents.records.size() <= (size - sizeof(uint32_t)) / sizeof(InfectionRecord),
              "more records than the file holds");

  InfectionList list;
  for (const InfectionRecord& record : contents.records) {
    std::u16string path;
    if (InfectionRecordPath(record, &path)) {
      fuzz::Check(record.cut == 0, "a record marked cut names a path to act on");
      platform::Utf16ToUtf8(path);
      platform::HostPath(path);
      list.Append(WideField(record.folder), WideField(record.file_name), record.value,
                  record.virus_id, record.action);
    }
    platform::Utf16ToUtf8(InfectionRecordShownPath(record));
  }
  if (!WriteInfectionRecords(list, kRewritten)) return 0;
  InfectionFile again;
  fuzz::Check(ReadInfectionFile(kRewritten, &again), "a written result file cannot be read");
  fuzz::Check(!again.damaged && again.records.size() == list.Count(),
              "a written result file reads back damaged or short");
  for (size_t i = 0; i < again.records.size(); ++i) {
    fuzz::Check(std::memcmp(&again.records[i], &list[i].record, sizeof(InfectionRecord)) == 0,
                "a written record reads back different");
  }
  return 0;
}
