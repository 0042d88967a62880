// Value and status texts of kvcfg.
#include "tools/kvcfg/config_text.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace kolvar::kvcfg {
namespace {

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FormatValue(uint32_t type, std::string_view bytes) {
  if (type == 1 && bytes.size() % 2 == 0) {
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                    static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    // One line per key: characters that would break the line or its fields are masked.
    for (char16_t& c : text) {
      if (c < 0x20 || c == 0x7F) c = u'?';
    }
    return platform::Utf16ToUtf8(text);
  }
  if (type == 2 && bytes.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return std::to_string(value);
  }
  return Hex(bytes);
}

bool ParseValue(uint32_t type, std::string_view text, std::string* bytes, std::string* error) {
  bytes->clear();
  if (type == 1) {
    std::u16string wide;
    if (!platform::Utf8ToUtf16(text, &wide)) {
      *error = "text is not valid UTF-8";
      return false;
    }
    if (wide.empty()) return true;
    wide += u'\0';
    for (char16_t c : wide) {
      bytes->push_back(static_cast<char>(c & 0xFF));
      bytes->push_back(static_cast<char>(c >> 8));
    }
    return true;
  }
  if (type == 2) {
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(copy.c_str(), &end, 10);
    if (copy.empty() || *end != '\0' || errno != 0 || value < -2147483648LL ||
        value > 4294967295LL) {
      *error = "a number from -2147483648 to 4294967295 is expected";
      return false;
    }
    const auto word = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(word >> (8 * i) & 0xFF));
    return true;
  }
  if (text.size() % 2 != 0) {
    *error = "an even number of hex digits is expected";
    return false;
  }
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      *error = "hex digits are expected";
      return false;
    }
    bytes->push_back(static_cast<char>(high << 4 | low));
  }
  return true;
}

}  // namespace kolvar::kvcfg
