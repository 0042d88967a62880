// kvreg's value text, as a person or a script types it: the first line is the type, each further
// line one value word. A text that parses is stored, reads back as the bytes it parsed to, and is
// shown again; one that does not parse says why.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/registry_store.h"
#include "tools/kvreg/registry_text.h"

namespace {

using namespace kolvar;

platform::RegistryHandle* g_key;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_key = new platform::RegistryHandle();
  if (!platform::CreateRegistryKey(platform::RegistryRoot::kCurrentUser, u"Software\\Fuzz",
                                   g_key)) {
    fuzz::Fail("the fuzzing key cannot be created");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    lines.emplace_back(text.substr(0, newline));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
  }
  if (lines.empty()) return 0;
  const std::string type_text = lines.front();
  lines.erase(lines.begin());

  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  std::string error;
  if (!kvreg::ParseValue(type_text, lines, &type, &bytes, &error)) {
    fuzz::Check(!error.empty(), "a refused value text gives no reason");
    return 0;
  }
  if (!platform::SetRegistryValue(*g_key, u"v", type, bytes.data(),
                                  static_cast<uint32_t>(bytes.size()))) {
    return 0;
  }
  platform::RegistryValue stored;
  fuzz::Check(platform::ReadRegistryValue(*g_key, u"v", &stored), "a value just set is missing");
  fuzz::Check(stored.type == type && stored.data == bytes, "a parsed value reads back different");
  kvreg::FormatData(stored.type, stored.data);
  return 0;
}
