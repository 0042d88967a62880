// KVRepository.dat from outside: whole records until a short read, fields that end within their
// record, quarantine names whose host paths never leave the device root, and removing or adding
// an entry that keeps every other entry as it was.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"

namespace {

using namespace kolvar;

constexpr char16_t kIndex[] = u"\\Program Files\\Kolvar\\KVRepository.dat";
constexpr char16_t kQuarantine[] = u"\\Program Files\\Kolvar\\Quarantine";

// One entry: a home path and the copy of it.
bool SameEntry(const RepositoryRecord& a, const RepositoryRecord& b) {
  return WideField(a.folder) == WideField(b.folder) &&
         WideField(a.file_name) == WideField(b.file_name) && a.copy() == b.copy();
}

void CheckBelowRoot(std::u16string_view device_path) {
  const std::string root = platform::DeviceRoot();
  const std::string host = platform::HostPath(device_path);
  fuzz::Check(host.compare(0, root.size(), root) == 0 &&
                  (host.size() == root.size() || host[root.size()] == '/'),
              "a path from the index leads out of the device root");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteDeviceFile(kIndex, {data, size});
  std::vector<RepositoryRecord> records;
  fuzz::Check(ReadRepositoryIndex(kIndex, &records), "a readable index was refused");
  fuzz::Check(records.size() == size / sizeof(RepositoryRecord), "whole records went missing");
  for (const RepositoryRecord& record : records) {
    fuzz::Check(WideFieldTerminated(record.folder) && WideFieldTerminated(record.file_name) &&
                    WideFieldTerminated(record.date),
                "a field of a read record runs past its end");
    const std::u16string_view folder = WideField(record.folder);
    const std::u16string_view name = WideField(record.file_name);
    platform::Utf16ToUtf8(folder);
    platform::Utf16ToUtf8(name);
    CheckBelowRoot(ProtectedPathOf(kQuarantine, record));
    CheckBelowRoot(platform::JoinPath(folder, name));
  }
  if (records.empty()) return 0;

  // Removing the first entry keeps every other one, in order.
  const RepositoryRecord first = records.front();
  std::vector<RepositoryRecord> kept;
  for (const RepositoryRecord& record : records) {
    if (!SameEntry(record, first)) kept.push_back(record);
  }
  if (!RemoveRepositoryRecord(kIndex, first, nullptr)) return 0;
  std::vector<RepositoryRecord> after;
  fuzz::Check(ReadRepositoryIndex(kIndex, &after), "a rewritten index cannot be read");
  fuzz::Check(after.size() == kept.size(), "removing an entry lost or kept others");
  for (size_t i = 0; i < after.size(); ++i) {
    fuzz::Check(std::memcmp(&after[i], &kept[i], sizeof(RepositoryRecord)) == 0,
                "removing an entry changed another one");
  }
  // Adding it back lists it once, at the end.
  if (!AppendRepositoryRecords(kIndex, {first}, nullptr)) return 0;
  fuzz::Check(ReadRepositoryIndex(kIndex, &after), "an appended index cannot be read");
  fuzz::Check(after.size() == kept.size() + 1 && SameEntry(after.back(), first),
              "an appended entry is not listed once at the end");
  return 0;
}
