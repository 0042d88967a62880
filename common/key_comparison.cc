// The library's key comparisons.
#include "common/key_comparison.h"

#include <cstring>

namespace kolvar {
namespace {

// Lower case of the letters of the Latin, Greek and Cyrillic blocks, which is what the suite's
// names (sections, keys, registry value names) are written in; other characters compare as they
// are.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? c + 0x20 : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x100 && c <= 0x137 && c != 0x130 && c != 0x131) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x460 && c <= 0x481) return c | 1;
  if (c >= 0x48A && c <= 0x4BF) return c | 1;
  return c;
}

char16_t CharAt(const void* key, uint32_t index) {
  char16_t c;
  std::memcpy(&c, static_cast<const char*>(key) + index * 2, 2);
  return c;
}

uint64_t ReadLittleEndian(const void* key, uint32_t key_length, uint32_t width) {
  const unsigned char* bytes = static_cast<const unsigned char*>(key);
  const uint32_t n = key_length < width ? key_length : width;
  uint64_t value = 0;
  for (uint32_t i = 0; i < n; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

int Order(uint64_t a, uint64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int CompareKeyBytes(const void* a, const void* b, uint32_t key_length) {
  return key_length == 0 ? 0 : std::memcmp(a, b, key_length);
}

int CompareTextNoCase(const void* a, const void* b, uint32_t key_length) {
  const uint32_t chars = key_length / 2;
  for (uint32_t i = 0; i < chars; ++i) {
    const char16_t ca = FoldCase(CharAt(a, i));
    const char16_t cb = FoldCase(CharAt(b, i));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

int CompareUint32Sort(const void* a, const void* b, uint32_t key_length) {
  return Order(ReadLittleEndian(a, key_length, 4), ReadLittleEndian(b, key_length, 4));
}

int CompareUint32Search(const void* a, const void* b, uint32_t key_length) {
  return CompareUint32Sort(a, b, key_length);
}

int CompareUint64(const void* a, const void* b, uint32_t key_length) {
  return Order(ReadLittleEndian(a, key_length, 8), ReadLittleEndian(b, key_length, 8));
}

}  // namespace kolvar
