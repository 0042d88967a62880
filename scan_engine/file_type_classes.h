// The fixed table of file-type classes (ten extension classes and the any-file bit) and the rule
// that turns a file's name into its extension and class. Signatures name the classes they apply
// to; the matcher tests a file only with the signatures of its class and the any-file ones.
#ifndef KOLVAR_SCAN_ENGINE_FILE_TYPE_CLASSES_H_
#define KOLVAR_SCAN_ENGINE_FILE_TYPE_CLASSES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar {

// One row of the class table: a NUL-padded extension and its class bit.
// Layout: docs/formats.md#file-type-classes
struct FileTypeClass {
  char extension[12];
  uint32_t class_bit;
};
static_assert(sizeof(FileTypeClass) == 16);
static_assert(offsetof(FileTypeClass, class_bit) == 12);

// A signature whose type mask carries this bit applies to every file.
inline constexpr uint32_t kAnyFileClass = 0x10000000;
// Class value of the row that ends the table; it is no class.
inline constexpr uint32_t kFileTypeTableEnd = 0xFFFFFFFF;
// Names whose extension is longer than this are never tested.
inline constexpr size_t kMaxExtensionLength = 15;

// Rows in lookup order, ending with the "*" end marker.
inline constexpr FileTypeClass kFileTypeClasses[] = {
    {"exe", 0x00000001}, {"dll", 0x00000002}, {"psw", 0x00000004},    {"pxl", 0x00000008},
    {"txt", 0x00000010}, {"dat", 0x00000020}, {"html", 0x00000040},   {"2bp", 0x00000080},
    {"gif", 0x00000100}, {"htm", 0x00000200}, {"*.*", kAnyFileClass}, {"*", kFileTypeTableEnd},
};

// The 8-bit form of a file name as the extension rule sees it: ASCII characters as they are, every
// other character (a surrogate pair counts as one) as "?", which no class row contains.
std::string NarrowFileName(std::u16string_view file_name);

// The extension of a bare file name: empty without a ".", "." when the first "." ends the name,
// otherwise everything after the first "." ("a.txt.exe" gives "txt.exe"). False when the
// extension is longer than kMaxExtensionLength: such a file is not tested at all.
bool FileExtension(std::u16string_view file_name, std::string* extension);

// Class bit of an extension (compared without regard to ASCII case, rows in table order up to the
// end marker); 0 when no row is equal. The "*.*" row is never selected by a real extension.
uint32_t FileTypeClassOf(std::string_view extension);

// Whether a signature with `type_mask` applies to a file of class `class_bit` (0 = no class).
inline bool SignatureApplies(uint32_t type_mask, uint32_t class_bit) {
  return (type_mask & kAnyFileClass) != 0 || (type_mask & class_bit) != 0;
}

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_FILE_TYPE_CLASSES_H_
