// UTF-8 / UTF-16 conversion between host names and the suite's wide device strings.
#ifndef KOLVAR_PLATFORM_TEXT_H_
#define KOLVAR_PLATFORM_TEXT_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

// Converts UTF-8 to UTF-16. Returns false (and leaves *out unspecified) for input that is not
// valid UTF-8: host names that are not valid UTF-8 cannot be device names.
bool Utf8ToUtf16(std::string_view in, std::u16string* out);
// Lenient form for messages: invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16Lossy(std::string_view in);
// Converts UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view in);

// Length of a NUL-terminated wide string inside a fixed field of `capacity` characters.
size_t BoundedLength(const char16_t* field, size_t capacity);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_TEXT_H_
