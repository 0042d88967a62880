// Text forms of kvreg; see registry_text.h.
#include "tools/kvreg/registry_text.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "platform/error.h"
#include "platform/text.h"

namespace kolvar::kvreg {
namespace {

using platform::RegistryRoot;

struct RootAlias {
  const char* name;
  const char* abbreviation;
  RegistryRoot root;
};

constexpr RootAlias kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", RegistryRoot::kClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", RegistryRoot::kCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", RegistryRoot::kLocalMachine},
    {"HKEY_USERS", "HKU", RegistryRoot::kUsers},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// UTF-16LE bytes up to the first NUL unit (an odd last byte is ignored) as text, with control
// characters shown as "?" so that stored bytes cannot steer the terminal.
std::string WideText(const uint8_t* bytes, size_t size, size_t* consumed) {
  std::u16string text;
  size_t i = 0;
  for (; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) {
      i += 2;
      break;
    }
    text.push_back(unit < 0x20 || unit == 0x7F ? u'?' : unit);
  }
  *consumed = i;
  return platform::Utf16ToUtf8(text);
}

std::string Hex(const std::vector<uint8_t>& data) {
  std::string out;
  char digits[3];
  for (uint8_t byte : data) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    out += digits;
  }
  return out;
}

void AppendWide(std::u16string_view text, std::vector<uint8_t>* data) {
  for (char16_t unit : text) {
    data->push_back(static_cast<uint8_t>(unit & 0xFF));
    data->push_back(static_cast<uint8_t>(unit >> 8));
  }
  data->push_back(0);
  data->push_back(0);
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' ||
      std::isspace(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseHex(const std::vector<std::string>& words, std::vector<uint8_t>* data,
              std::string* error) {
  std::string digits;
  for (const std::string& word : words) {
    for (char c : word) {
      if (c == ' ' || c == ',' || c == ':') continue;
      if (!std::isxdigit(static_cast<unsigned char>(c))) {
        *error = "not a hexadecimal digit: '" + std::string(1, c) + "'";
        return false;
      }
      digits.push_back(c);
    }
  }
  if (digits.size() % 2 != 0) {
    *error = "hexadecimal bytes need an even number of digits";
    return false;
  }
  data->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    data->push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

bool ToWide(const std::string& text, std::u16string* wide, std::string* error) {
  if (!platform::Utf8ToUtf16(text, wide)) {
    *error = "not valid UTF-8: " + text;
    return false;
  }
  return true;
}

}  // namespace

bool ParseKeyPath(std::string_view text, KeyPath* key, std::string* error) {
  const size_t separator = text.find('\\');
  const std::string_view root_text = text.substr(0, separator);
  const RootAlias* alias = nullptr;
  for (const RootAlias& candidate : kRoots) {
    if (EqualsNoCase(root_text, candidate.name) ||
        EqualsNoCase(root_text, candidate.abbreviation)) {
      alias = &candidate;
    }
  }
  if (alias == nullptr) {
    *error = "unknown root key '" + std::string(root_text) +
             "' (use HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS or "
             "HKCR, HKCU, HKLM, HKU)";
    return false;
  }
  key->root = alias->root;
  key->path.clear();
  if (separator != std::string_view::npos &&
      !ToWide(std::string(text.substr(separator + 1)), &key->path, error)) {
    return false;
  }
  // Trailing separators name the same key; drop them so that the key prints as people write it.
  while (!key->path.empty() && key->path.back() == u'\\') key->path.pop_back();
  return true;
}

const char* RootName(RegistryRoot root) {
  for (const RootAlias& alias : kRoots) {
    if (alias.root == root) return alias.name;
  }
  return "HKEY_?";
}

std::string KeyPathText(const KeyPath& key) {
  std::string text = RootName(key.root);
  if (!key.path.empty()) text += "\\" + platform::Utf16ToUtf8(key.path);
  return text;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case platform::kRegNone:
      return "REG_NONE";
    case platform::kRegSz:
      return "REG_SZ";
    case platform::kRegExpandSz:
      return "REG_EXPAND_SZ";
    case platform::kRegBinary:
      return "REG_BINARY";
    case platform::kRegDword:
      return "REG_DWORD";
    case platform::kRegDwordBigEndian:
      return "REG_DWORD_BIG_ENDIAN";
    case platform::kRegLink:
      return "REG_LINK";
    case platform::kRegMultiSz:
      return "REG_MULTI_SZ";
    case platform::kRegResourceList:
      return "REG_RESOURCE_LIST";
    default: {
      char name[24];
      std::snprintf(name, sizeof name, "REG_0x%08" PRIx32, type);
      return name;
    }
  }
}

std::string FormatData(uint32_t type, const std::vector<uint8_t>& data) {
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz: {
      size_t consumed = 0;
      return WideText(data.data(), data.size(), &consumed);
    }
    case platform::kRegMultiSz: {
      std::string out;
      size_t offset = 0;
      bool first = true;
      while (offset + 1 < data.size()) {
        size_t consumed = 0;
        std::string part = WideText(data.data() + offset, data.size() - offset, &consumed);
        if (part.empty()) break;  // the empty string that ends the list
        if (!first) out += "\\0";
        out += part;
        first = false;
        offset += consumed;
      }
      return out;
    }
    case platform::kRegDword:
    case platform::kRegDwordBigEndian: {
      if (data.size() != 4) return Hex(data);
      const uint32_t value =
          type == platform::kRegDword
              ? data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24
              : data[3] | data[2] << 8 | data[1] << 16 | static_cast<uint32_t>(data[0]) << 24;
      char text[32];
      std::snprintf(text, sizeof text, "0x%08" PRIx32 " (%" PRIu32 ")", value, value);
      return text;
    }
    default:
      return Hex(data);
  }
}

bool ParseValue(std::string_view type_text, const std::vector<std::string>& words, uint32_t* type,
                std::vector<uint8_t>* data, std::string* error) {
  std::string name = Lower(type_text);
  if (name.rfind("reg_", 0) == 0) name.erase(0, 4);
  data->clear();
  auto one_word = [&]() {
    if (words.size() == 1) return true;
    *error = "type " + std::string(type_text) + " takes exactly one value";
    return false;
  };
  if (name == "sz" || name == "expand_sz") {
    *type = name == "sz" ? platform::kRegSz : platform::kRegExpandSz;
    std::u16string wide;
    if (!one_word() || !ToWide(words[0], &wide, error)) return false;
    AppendWide(wide, data);
    return true;
  }
  if (name == "multi_sz") {
    *type = platform::kRegMultiSz;
    for (const std::string& word : words) {
      std::u16string wide;
      if (!ToWide(word, &wide, error)) return false;
      if (wide.empty()) {
        *error = "a multi-string cannot hold an empty string";
        return false;
      }
      AppendWide(wide, data);
    }
    data->push_back(0);
    data->push_back(0);
    return true;
  }
  if (name == "dword" || name == "dword_be" || name == "dword_big_endian") {
    *type = name == "dword" ? platform::kRegDword : platform::kRegDwordBigEndian;
    uint64_t value = 0;
    if (!one_word()) return false;
    if (!ParseNumber(words[0], 0xFFFFFFFFu, &value)) {
      *error = "not a 32-bit number: " + words[0];
      return false;
    }
    for (int i = 0; i < 4; ++i) {
      const int shift = *type == platform::kRegDword ? 8 * i : 8 * (3 - i);
      data->push_back(static_cast<uint8_t>(value >> shift));
    }
    return true;
  }
  uint64_t number = 0;
  if (name == "binary") {
    *type = platform::kRegBinary;
  } else if (name == "none") {
    *type = platform::kRegNone;
  } else if (ParseNumber(std::string(type_text), 0xFFFFFFFFu, &number)) {
    *type = static_cast<uint32_t>(number);
  } else {
    *error = "unknown value type '" + std::string(type_text) +
             "' (use sz, expand_sz, binary, dword, dword_be, multi_sz, none or a number)";
    return false;
  }
  return ParseHex(words, data, error);
}

}  // namespace kolvar::kvreg
