// The text forms of kvreg: key paths as people write them ("HKCU\Software\Kolvar Corp."), value
// types by name, value data shown and parsed per type, and the device's registry errors in words.
#ifndef KOLVAR_TOOLS_KVREG_REGISTRY_TEXT_H_
#define KOLVAR_TOOLS_KVREG_REGISTRY_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"

namespace kolvar::kvreg {

struct KeyPath {
  platform::RegistryRoot root = platform::RegistryRoot::kCurrentUser;
  std::u16string path;  // below the root, "\"-separated, possibly empty
};

// "ROOT" or "ROOT\path": the root by its full name or abbreviation (HKCR, HKCU, HKLM, HKU),
// without regard to case. False with a message for anything else.
bool ParseKeyPath(std::string_view text, KeyPath* key, std::string* error);
// The root's full name, as listings show it.
const char* RootName(platform::RegistryRoot root);
// "ROOT\path" of a key.
std::string KeyPathText(const KeyPath& key);

// "REG_SZ" and the others; "REG_0x12345678" for a type without a name.
std::string TypeName(uint32_t type);
// The data of a value as one line: text for strings (multi-strings joined by "\0"), the number
// for 32-bit numbers of 4 bytes ("0x0000002a (42)"), lower-case hexadecimal bytes otherwise.
std::string FormatData(uint32_t type, const std::vector<uint8_t>& data);

// Parses TYPE (sz, expand_sz, binary, dword, dword_be, multi_sz, none, with or without "REG_",
// any case, or a number) and the VALUE words into the type and bytes to store: strings as UTF-16LE
// with their NUL, a multi-string from one word per string, a number in decimal or 0x-hex, and
// binary (or a numbered type) as hexadecimal bytes. False with a message otherwise.
bool ParseValue(std::string_view type_text, const std::vector<std::string>& words, uint32_t* type,
                std::vector<uint8_t>* data, std::string* error);

}  // namespace kolvar::kvreg

#endif  // KOLVAR_TOOLS_KVREG_REGISTRY_TEXT_H_
