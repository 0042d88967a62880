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

std::string_view StatusMeaning(Status status) {
  switch (status) {
    case 0:
      return "success";
    case 1:
      return "bad argument";
    case 2:
      return "the platform's encrypt or decrypt call failed";
    case 3:
      return "busy, or the object was not set up successfully";
    case 15:
      return "no more keys";
    case 16:
      return "key not found";
    case 17:
      return "a folder query failed";
    case 26:
      return "allocating the slot array failed";
    case 41:
      return "creating the heap failed";
    case 44:
      return "key length missing";
    case 45:
      return "duplicate key";
    case 47:
      return "out of memory";
    case 48:
      return "index out of range";
    case 49:
      return "table empty";
    case 50:
      return "not found";
    case 52:
      return "no path set";
    case 53:
      return "the file cannot be opened";
    case 54:
      return "wildcard in the path, or the path names a folder";
    case 55:
      return "the file is not open";
    case 58:
      return "changing the file's attributes failed";
    case 59:
      return "seeking in the file failed";
    case 60:
      return "reading the file failed";
    case 61:
      return "writing the file failed";
    case 62:
      return "deleting the file failed";
    case 63:
      return "the file is open";
    case 66:
      return "no source set";
    case 67:
      return "the source file is read-only, hidden or system";
    case 68:
      return "provider choice other than 1 or 2";
    case 69:
      return "acquiring the provider context failed";
    case 70:
      return "no key material set";
    case 71:
      return "hashing or key derivation failed";
    case 72:
      return "no digest (no key derived)";
    case 73:
      return "no cipher attached, or deriving its key failed";
    case 74:
      return "the destination file exists";
    case 75:
      return "the source already carries the protected extension";
    case 76:
      return "not a protected file";
    case 77:
      return "the file was protected with another key scheme or cipher";
    case 78:
      return "the file was protected with other key material";
    case 79:
      return "creating or mapping a shared-memory block failed";
    case 80:
      return "access beyond the end of a shared-memory block";
    case 81:
      return "the store has no sections";
    case 82:
      return "section not found";
    case 83:
      return "section already exists";
    case 84:
      return "the store has no sections";
    case 85:
      return "no more sections";
    case 86:
      return "key already exists";
    case 87:
      return "the section has no keys";
    case 88:
      return "the file is too short to hold a header, or reading it failed";
    case 89:
      return "wrong magic numbers";
    case 90:
      return "the file is encrypted and no cipher is attached";
    case 91:
      return "decryption failed";
    default:
      return "unknown status";
  }
}

}  // namespace kolvar::kvcfg
