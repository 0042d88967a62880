// The text forms that kvcfg reads and prints: values as dump shows them and as set takes them.
#ifndef KOLVAR_TOOLS_KVCFG_CONFIG_TEXT_H_
#define KOLVAR_TOOLS_KVCFG_CONFIG_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar::kvcfg {

// Type 1 as UTF-8 text without its terminating NUL (control characters shown as "?"), type 2 of
// size 4 as an unsigned decimal number, anything else as lower-case hex.
std::string FormatValue(uint32_t type, std::string_view bytes);

// The inverse for set: type 1 takes UTF-8 text and stores it as UTF-16LE with its terminating NUL
// (empty text as size 0), type 2 a decimal number from -2147483648 to 4294967295, any other type
// hex digits. False (with *error set) for a value that does not fit its type.
bool ParseValue(uint32_t type, std::string_view text, std::string* bytes, std::string* error);

}  // namespace kolvar::kvcfg

#endif  // KOLVAR_TOOLS_KVCFG_CONFIG_TEXT_H_
