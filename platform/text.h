// UTF-8 / UTF-16 conversion between host names and the suite's wide device strings, and the
// case-insensitive comparison of wide names that the device's file system and tables use.
#ifndef KOLVAR_PLATFORM_TEXT_H_
#define KOLVAR_PLATFORM_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kolvar::platform {

// Converts UTF-8 to UTF-16. Returns false (and leaves *out unspecified) for input that is not
// valid UTF-8 (overlong forms, encoded surrogates, values above U+10FFFF, cut sequences).
bool Utf8ToUtf16(std::string_view in, std::u16string* out);
// Lenient form for messages: each maximal invalid subsequence becomes one U+FFFD.
std::u16string Utf8ToUtf16Lossy(std::string_view in);
// Converts UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view in);
// True when `in` has no unpaired surrogate, so that it converts to UTF-8 and back unchanged.
bool IsValidUtf16(std::u16string_view in);

// Host names and device names. Every host name has a device name and comes back from it byte for
// byte, so that no file hides from the suite behind its name:
// - valid UTF-8 becomes the same text in UTF-16;
// - each byte that is not part of valid UTF-8 becomes the lone low surrogate U+DC00 + byte
//   (U+DC80..U+DCFF; valid UTF-8 never yields a lone surrogate, so these collide with nothing);
// - "\" (the device's separator) and "*" and "?" (its wildcards), which no device name holds,
//   become the private-use stand-ins U+F000 + their ASCII value;
// - a real stand-in in the name, whose place the character takes, is carried as its three UTF-8
//   bytes escaped as above, which keeps the mapping one to one.
inline constexpr char16_t kEscapedByteBase = 0xDC00;
inline constexpr char16_t kStandInBase = 0xF000;
inline constexpr char16_t kNameBackslash = kStandInBase + u'\\';
inline constexpr char16_t kNameStar = kStandInBase + u'*';
inline constexpr char16_t kNameQuestionMark = kStandInBase + u'?';
// Device name of one host name (a single path component).
std::u16string DeviceNameFromHost(std::string_view host_name);
// Host name of one device name. False when no host name maps to `device_name`: a surrogate
// outside pairs and U+DC80..U+DCFF, a NUL or a "/", or escapes that spell what is mapped otherwise
// (escaped bytes that form valid UTF-8 other than a stand-in's). *host_name is filled even
// then, with U+FFFD for units that carry no byte, for messages.
bool HostNameFromDevice(std::u16string_view device_name, std::string* host_name);

// How a device text (a path or a name) is shown to people, UTF-8: an escaped byte as "\xFF", a
// kNameBackslash as "\x5C", the other stand-ins as their characters, a control character as "\x1B"
// (so that no name moves the terminal's cursor or colours), a unit that carries nothing as U+FFFD;
// separators stay "\".
std::string ShownDeviceText(std::u16string_view text);
// The same for host bytes (a path or a name): a byte that is not part of valid UTF-8, a control
// character and every "\" as "\xHH", so that each "\" shown starts an escape.
std::string ShownHostText(std::string_view bytes);

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
