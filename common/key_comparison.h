// The key comparisons that the sorted tables use: each receives two keys of `key_length` bytes and
// returns a negative, zero or positive value. A table without a comparison compares the key bytes.
#ifndef KOLVAR_COMMON_KEY_COMPARISON_H_
#define KOLVAR_COMMON_KEY_COMPARISON_H_

#include <cstdint>

namespace kolvar {

using KeyComparison = int (*)(const void* a, const void* b, uint32_t key_length);

// memcmp of the key bytes.
int CompareKeyBytes(const void* a, const void* b, uint32_t key_length);
// UTF-16 texts (NUL-terminated within the key, or filling it) compared without regard to case.
int CompareTextNoCase(const void* a, const void* b, uint32_t key_length);
// Unsigned 32-bit integers read little-endian from the first four key bytes. Two names for the
// same order: one serves as a table's sort comparison, the other as its search comparison.
int CompareUint32Sort(const void* a, const void* b, uint32_t key_length);
int CompareUint32Search(const void* a, const void* b, uint32_t key_length);
// Unsigned 64-bit integers read little-endian from the first eight key bytes (addresses).
int CompareUint64(const void* a, const void* b, uint32_t key_length);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_KEY_COMPARISON_H_
