// UTF-8 / UTF-16 conversion between host names and the suite's wide device strings, and the
// case-insensitive comparison of wide names that the device's file system and tables use.
#ifndef KOLVAR_PLATFORM_TEXT_H_
#define KOLVAR_PLATFORM_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kolvar::platform {

// Converts UTF-8 to UTF-16. Returns false (and leaves *out unspecified) for input that is not
// valid UTF-8 (overlong forms, encoded surrogates, values above U+10FFFF, cut sequences): host
// names that are not valid UTF-8 cannot be device names.
bool Utf8ToUtf16(std::string_view in, std::u16string* out);
// Lenient form for messages: each maximal invalid subsequence becomes one U+FFFD.
std::u16string Utf8ToUtf16Lossy(std::string_view in);
// Converts UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view in);
// True when `in` has no unpaired surrogate, so that it converts to UTF-8 and back unchanged.
bool IsValidUtf16(std::u16string_view in);

// Length of a NUL-terminated wide string inside a fixed field of `capacity` characters.
size_t BoundedLength(const char16_t* field, size_t capacity);

// Simple lower-case folding of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic capitals; every other unit is returned unchanged.
char16_t FoldCase(char16_t c);
// Compares two wide strings unit by unit after FoldCase: negative, zero or positive.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_TEXT_H_
