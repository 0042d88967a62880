// The extension rule and the class lookup over the fixed class table.
#include "scan_engine/file_type_classes.h"

namespace kolvar {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string NarrowFileName(std::u16string_view file_name) {
  std::string narrow;
  narrow.reserve(file_name.size());
  for (size_t i = 0; i < file_name.size(); ++i) {
    const char16_t c = file_name[i];
    if (c == 0) break;  // the name ends at its terminator, as in the device's buffers
    if (c < 0x80) {
      narrow.push_back(static_cast<char>(c));
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < file_name.size() && IsLowSurrogate(file_name[i + 1])) ++i;
    narrow.push_back('?');
  }
  return narrow;
}

bool FileExtension(std::u16string_view file_name, std::string* extension) {
  const std::string narrow = NarrowFileName(file_name);
  const size_t dot = narrow.find('.');
  if (dot == std::string::npos) {
    extension->clear();
  } else if (dot + 1 == narrow.size()) {
    *extension = ".";
  } else {
    *extension = narrow.substr(dot + 1);
  }
  return extension->size() <= kMaxExtensionLength;
}

uint32_t FileTypeClassOf(std::string_view extension) {
  for (const FileTypeClass& row : kFileTypeClasses) {
    if (row.class_bit == kFileTypeTableEnd) break;
    if (EqualIgnoringAsciiCase(extension, row.extension)) return row.class_bit;
  }
  return 0;
}

}  // namespace kolvar
