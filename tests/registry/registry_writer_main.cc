// A writer for the registry tests: opens (creating level by level) "Concurrency\Shared" below the
// company key of HKEY_CURRENT_USER through RegistryKey, then writes COUNT string values named
// "TAG-0", "TAG-1", ... each holding "TAG:i", one write at a time, reading each one back. Its one
// command-line argument is "TAG COUNT". Exit codes: 0 done, 1 bad argument, 2 the key could not
// be opened, 3 a write failed, 4 a value read back differs; a failure prints the status and the
// platform error on standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/registry_key.h"
#include "platform/registry_store.h"
#include "platform/text.h"

namespace {

std::vector<uint8_t> Sz(const std::u16string& text) {
  std::vector<uint8_t> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

int Report(const char* what, const kolvar::RegistryKey& key, int code) {
  uint32_t error = 0;
  const kolvar::Status status = key.GetStatus(&error);
  std::fprintf(stderr, "registry_writer: %s: status %u, error %u\n", what, status, error);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  char tag[64];
  unsigned long count = 0;
  if (argc != 2 || std::sscanf(argv[1], "%63s %lu", tag, &count) != 2) {
    std::fprintf(stderr, "usage: %s \"TAG COUNT\"\n", argv[0]);
    return 1;
  }
  kolvar::RegistryKey key(kolvar::kRegistryPathCompany, kolvar::kRegistryRootCurrentUser);
  if (!key.OpenKey(u"Concurrency\\Shared", false, true)) return Report("open", key, 2);
  const std::u16string wide_tag = kolvar::platform::Utf8ToUtf16Lossy(tag);
  for (unsigned long i = 0; i < count; ++i) {
    const std::u16string index = kolvar::platform::Utf8ToUtf16Lossy(std::to_string(i));
    const std::vector<uint8_t> data = Sz(wide_tag + u":" + index);
    const std::u16string name = wide_tag + u"-" + index;
    if (!key.SetValue(name, kolvar::platform::kRegSz, data.data(),
                      static_cast<uint32_t>(data.size()))) {
      return Report("write", key, 3);
    }
    std::vector<uint8_t> back(data.size() + 8);
    uint32_t size = static_cast<uint32_t>(back.size());
    if (!key.GetValue(name, kolvar::platform::kRegSz, back.data(), &size)) {
      return Report("read", key, 4);
    }
    back.resize(size);
    if (back != data) {
      std::fprintf(stderr, "registry_writer: value %lu reads back differently\n", i);
      return 4;
    }
  }
  return 0;
}
