// Typed registry values that another program may have written: any type and any bytes. They are
// stored as given and read back the same way through the platform's store and through the
// programs' RegistryKey (whose typed read refuses another type without touching the size, and
// copies no more than the buffer holds), listed among the key's value names, and shown by kvreg.
#include <cstring>
#include <string>
#include <vector>

#include "common/registry_key.h"
#include "common/sorted_table.h"
#include "fuzz/fuzz_support.h"
#include "platform/registry_store.h"
#include "tools/kvreg/registry_text.h"

namespace {

using namespace kolvar;

constexpr char16_t kKey[] = u"Fuzz";
const uint32_t kExpectedTypes[] = {platform::kRegSz, platform::kRegBinary, platform::kRegDword,
                                   platform::kRegMultiSz};

RegistryKey* g_key;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_key = new RegistryKey(kRegistryPathCompany, kRegistryRootCurrentUser);
  if (!g_key->OpenKey(kKey, /*relative=*/false, /*create=*/true)) {
    fuzz::Fail("the fuzzing key cannot be created");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint32_t type = input.Take<uint32_t>();
  const size_t name_chars = input.Take<uint8_t>() % 8;
  std::u16string name(name_chars, u'\0');
  for (char16_t& c : name) c = input.Take<char16_t>();
  const std::span<const uint8_t> bytes = input.Rest();
  const std::vector<uint8_t> value(bytes.begin(), bytes.end());

  if (!g_key->SetValue(name, type, value.data(), static_cast<uint32_t>(value.size()))) return 0;

  platform::RegistryValue stored;
  platform::RegistryHandle handle;
  fuzz::Check(platform::OpenRegistryKey(platform::RegistryRoot::kCurrentUser,
                                        u"Software\\Kolvar Corp.\\Fuzz", &handle),
              "the fuzzing key is gone");
  fuzz::Check(platform::ReadRegistryValue(handle, name, &stored), "a value just set is missing");
  fuzz::Check(stored.type == type && stored.data == value, "a value reads back different");

  fuzz::Check(g_key->ValueSize(name) == value.size(), "the value's size reads different");
  fuzz::Check(g_key->ValueType(name) == static_cast<int64_t>(type), "the type reads different");
  for (uint32_t expected : kExpectedTypes) {
    for (uint32_t capacity :
         {0u, static_cast<uint32_t>(value.size() / 2), static_cast<uint32_t>(value.size()),
          static_cast<uint32_t>(value.size() + 8)}) {
      std::vector<uint8_t> buffer(capacity + 1, 0xEE);
      uint32_t got = capacity;
      const bool read = g_key->GetValue(name, expected, buffer.data(), &got);
      fuzz::Check(buffer[capacity] == 0xEE, "a typed read wrote past the buffer");
      if (expected != type) {
        fuzz::Check(!read && got == capacity, "a read of another type succeeded or told a size");
      } else if (read) {
        const size_t n = std::min<size_t>(got, capacity);
        fuzz::Check(n == 0 || std::memcmp(buffer.data(), value.data(), n) == 0,
                    "a typed read differs");
      }
    }
  }
  SortedTable names(kValueNameKeyLength);
  fuzz::Check(g_key->ValueNames(&names), "the value names cannot be listed");
  kvreg::FormatData(type, value);
  kvreg::TypeName(type);
  g_key->DeleteValue(name);
  return 0;
}
