// UTF-8 and UTF-16 conversion and case folding. The UTF-8 decoder follows the well-formed byte
// sequences of RFC 3629 exactly, so that a host name accepted here converts back to the same bytes.
#include <cstdint>

#include "platform/text.h"

namespace kolvar::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at the start of `in`. Returns the number of bytes used; *ok tells
// whether they formed a valid sequence. For an invalid sequence the count is the length of its
// maximal well-formed prefix (at least 1), which is what one U+FFFD replaces.
size_t DecodeOne(std::string_view in, char32_t* cp, bool* ok) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
  const unsigned char b0 = byte(0);
  *ok = false;
  if (b0 < 0x80) {
    *cp = b0;
    *ok = true;
    return 1;
  }
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // no overlong forms
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;   // no overlong forms
    if (b0 == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  char32_t value = b0 & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if (i >= in.size()) return i;
    const unsigned char b = byte(i);
    const unsigned char lo = i == 1 ? low : 0x80;
    const unsigned char hi = i == 1 ? high : 0xBF;
    if (b < lo || b > hi) return i;
    value = (value << 6) | (b & 0x3F);
  }
  *cp = value;
  *ok = true;
  return length;
}

void AppendUtf16(char32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsEscapedByte(char16_t c) {
  return c >= kEscapedByteBase + 0x80 && c <= kEscapedByteBase + 0xFF;
}

void AppendEscape(unsigned char byte, std::string* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  *out += "\\x";
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 0xF]);
}

// The stand-in of a character that no device name holds, or 0.
char16_t StandInFor(char32_t cp) {
  return cp == U'\\' || cp == U'*' || cp == U'?' ? static_cast<char16_t>(kStandInBase + cp) : 0;
}
bool IsStandIn(char32_t cp) {
  return cp == kNameBackslash || cp == kNameStar || cp == kNameQuestionMark;
}

bool IsControl(char32_t cp) { return cp < 0x20 || cp == 0x7F; }

// UTF-8 of one code point as shown: control characters escaped, C1 controls (which some terminals
// obey as well) escaped byte by byte.
void AppendShown(char32_t cp, std::string* out) {
  if (IsControl(cp)) {
    AppendEscape(static_cast<unsigned char>(cp), out);
  } else if (cp >= 0x80 && cp <= 0x9F) {
    std::string bytes;
    AppendUtf8(cp, &bytes);
    for (const char b : bytes) AppendEscape(static_cast<unsigned char>(b), out);
  } else {
    AppendUtf8(cp, out);
  }
}

}  // namespace

bool Utf8ToUtf16(std::string_view in, std::u16string* out) {
  out->clear();
  out->reserve(in.size());
  while (!in.empty()) {
    char32_t cp;
    bool ok;
    const size_t used = DecodeOne(in, &cp, &ok);
    if (!ok) return false;
    AppendUtf16(cp, out);
    in.remove_prefix(used);
  }
  return true;
}

std::u16string Utf8ToUtf16Lossy(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  while (!in.empty()) {
    char32_t cp;
    bool ok;
    const size_t used = DecodeOne(in, &cp, &ok);
    AppendUtf16(ok ? cp : kReplacement, &out);
    in.remove_prefix(used);
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (IsHighSurrogate(c) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
      AppendUtf8(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (in[i + 1] - 0xDC00),
                 &out);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(kReplacement, &out);
    } else {
      AppendUtf8(c, &out);
    }
  }
  return out;
}

bool IsValidUtf16(std::u16string_view in) {
  for (size_t i = 0; i < in.size(); ++i) {
    if (IsHighSurrogate(in[i]) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(in[i]) || IsLowSurrogate(in[i])) {
      return false;
    }
  }
  return true;
}

std::u16string DeviceNameFromHost(std::string_view host_name) {
  std::u16string out;
  out.reserve(host_name.size());
  while (!host_name.empty()) {
    char32_t cp;
    bool ok;
    const size_t used = DecodeOne(host_name, &cp, &ok);
    if (!ok || IsStandIn(cp)) {
      // Byte by byte: the rest of an invalid sequence is escaped on the next rounds, since a
      // continuation byte never starts a valid one.
      const size_t count = ok ? used : 1;
      for (size_t i = 0; i < count; ++i) {
        out.push_back(
            static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(host_name[i])));
      }
      host_name.remove_prefix(count);
      continue;
    }
    const char16_t stand_in = StandInFor(cp);
    AppendUtf16(stand_in != 0 ? stand_in : cp, &out);
    host_name.remove_prefix(used);
  }
  return out;
}

bool HostNameFromDevice(std::u16string_view device_name, std::string* host_name) {
  std::string& out = *host_name;
  out.clear();
  out.reserve(device_name.size());
  bool ok = true;
  bool escaped = false;
  for (size_t i = 0; i < device_name.size(); ++i) {
    const char16_t c = device_name[i];
    if (IsHighSurrogate(c) && i + 1 < device_name.size() && IsLowSurrogate(device_name[i + 1])) {
      AppendUtf8(
          0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (device_name[i + 1] - 0xDC00),
          &out);
      ++i;
    } else if (IsEscapedByte(c)) {
      out.push_back(static_cast<char>(c - kEscapedByteBase));
      escaped = true;
    } else if (IsStandIn(c)) {
      out.push_back(static_cast<char>(c - kStandInBase));
      escaped = true;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(kReplacement, &out);
      ok = false;
    } else {
      if (c == u'\0' || c == u'/' || StandInFor(c) != 0) ok = false;
      AppendUtf8(c, &out);
    }
  }
  // Escapes that spell valid UTF-8 name a file that is mapped without them: such a device name is
  // a second spelling of another one, which no host name maps to.
  if (ok && escaped && DeviceNameFromHost(out) != device_name) ok = false;
  return ok;
}

std::string ShownDeviceText(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendShown(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00),
                  &out);
      ++i;
    } else if (IsEscapedByte(c)) {
      AppendEscape(static_cast<unsigned char>(c - kEscapedByteBase), &out);
    } else if (c == kNameBackslash) {
      AppendEscape('\\', &out);
    } else if (IsStandIn(c)) {
      out.push_back(static_cast<char>(c - kStandInBase));
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(kReplacement, &out);
    } else {
      AppendShown(c, &out);
    }
  }
  return out;
}

std::string ShownHostText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t cp;
    bool ok;
    const size_t used = DecodeOne(bytes, &cp, &ok);
    if (!ok) {
      AppendEscape(static_cast<unsigned char>(bytes[0]), &out);
      bytes.remove_prefix(1);
      continue;
    }
    if (cp == U'\\') {
      AppendEscape('\\', &out);
    } else {
      AppendShown(cp, &out);
    }
    bytes.remove_prefix(used);
  }
  return out;
}

size_t BoundedLength(const char16_t* field, size_t capacity) {
  size_t n = 0;
  while (n < capacity && field[n] != u'\0') ++n;
  return n;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  // Latin Extended-A pairs capitals and small letters in neighbouring units; the parity of the
  // capitals changes at U+0139 and again at U+014A and U+0179. The dotted and dotless I
  // (U+0130, U+0131) are no pair.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
    return (c % 2 == 0) ? static_cast<char16_t>(c + 1) : c;
  }
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
    return (c % 2 == 1) ? static_cast<char16_t>(c + 1) : c;
  }
  if (c == 0x178) return 0xFF;
  if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  return c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = FoldCase(a[i]);
    const char16_t y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

}  // namespace kolvar::platform
