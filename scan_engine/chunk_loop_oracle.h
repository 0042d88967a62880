// Test oracle: the device's signature matcher exactly as it works, signature by signature over
// 16 KiB chunks with the carried bytes and the stdio end-of-file flag, over a file held in
// memory. Deliberately slow and literal; the fast matcher must agree with it on every file.
#ifndef KOLVAR_SCAN_ENGINE_CHUNK_LOOP_ORACLE_H_
#define KOLVAR_SCAN_ENGINE_CHUNK_LOOP_ORACLE_H_

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan_engine/signature_database.h"

namespace kolvar::testing {

// A read-only stream with fread's semantics: a read that delivers fewer bytes than asked sets
// the end-of-file flag; a read that delivers all it was asked does not.
class OracleStream {
 public:
  explicit OracleStream(std::span<const uint8_t> data) : data_(data) {}
  size_t Read(uint8_t* out, size_t want) {
    const size_t got = std::min(want, data_.size() - position_);
    for (size_t i = 0; i < got; ++i) out[i] = data_[position_ + i];
    position_ += got;
    if (got < want) eof_ = true;
    return got;
  }
  bool Eof() const { return eof_; }

 private:
  std::span<const uint8_t> data_;
  size_t position_ = 0;
  bool eof_ = false;
};

// The extension as the device takes it: 8-bit name (non-ASCII as "?"), text after the first ".".
// False when it is longer than 15 characters.
inline bool OracleExtension(std::u16string_view name, std::string* extension) {
  char narrow[260] = {};
  size_t length = 0;
  for (size_t i = 0; i < name.size() && length < 259; ++i) {
    const char16_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
        name[i + 1] <= 0xDFFF) {
      ++i;
    }
    narrow[length++] = c < 0x80 ? static_cast<char>(c) : '?';
  }
  const char* dot = std::strchr(narrow, '.');
  if (dot == nullptr) {
    extension->clear();
  } else if (dot[1] == 0) {
    *extension = ".";
  } else {
    *extension = dot + 1;
  }
  return extension->size() <= 15;
}

// The class-table lookup, rows in order until the end marker; found is false without a class.
inline uint32_t OracleClass(const std::string& extension, bool* found) {
  static const struct {
    const char* extension;
    uint32_t bit;
  } kRows[] = {{"exe", 0x1},   {"dll", 0x2},   {"psw", 0x4},        {"pxl", 0x8},
               {"txt", 0x10},  {"dat", 0x20},  {"html", 0x40},      {"2bp", 0x80},
               {"gif", 0x100}, {"htm", 0x200}, {"*.*", 0x10000000}, {"*", 0xFFFFFFFF}};
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (const auto& row : kRows) {
    if (row.bit == 0xFFFFFFFF) break;
    const std::string_view ext(row.extension);
    bool equal = ext.size() == extension.size();
    for (size_t i = 0; equal && i < ext.size(); ++i) equal = lower(ext[i]) == lower(extension[i]);
    if (equal) {
      *found = true;
      return row.bit;
    }
  }
  *found = false;
  return 0;
}

// The device's MatchFile for a file of `content` named `name` (its path is never the database
// path here). Writes *virus_id as the device does. Returns 1 or 0. The table is taken as the load
// leaves it: a record whose length lies outside 1..256 is never loaded, so it is passed over
// here (the device's loop would find an empty pattern in every non-empty file).
inline int OracleMatch(std::span<const SignatureRecord> table, std::u16string_view name,
                       std::span<const uint8_t> content, uint32_t* virus_id) {
  constexpr int kChunk = 16384;
  std::string extension;
  if (!OracleExtension(name, &extension)) return 0;
  bool has_class = false;
  const uint32_t class_bit = OracleClass(extension, &has_class);
  std::vector<uint8_t> buffer(kChunk);
  for (const SignatureRecord& record : table) {
    if (record.length <= 0 || record.length > 256) continue;
    const bool applies =
        (has_class && (record.type_mask & class_bit) != 0) || (record.type_mask & 0x10000000);
    if (!applies) continue;
    *virus_id = record.virus_id;
    const int n = record.length;
    OracleStream stream(content);
    bool carry = false;
    for (;;) {
      size_t got;
      if (!carry) {
        std::memset(buffer.data(), 0, kChunk);
        got = stream.Read(buffer.data(), kChunk);
      } else {
        std::memset(buffer.data() + n, 0, kChunk - n);
        got = stream.Read(buffer.data() + n, kChunk - n);
      }
      carry = false;
      if (got != 0) {
        for (int j = 0;; ++j) {
          const int rest = kChunk - j;
          if (rest < n) break;
          bool equal = true;
          for (int k = 0; k < n && equal; ++k) equal = buffer[j + k] == record.pattern[k];
          if (equal) return 1;
          if (rest == n) {
            carry = true;
            break;
          }
        }
      }
      if (stream.Eof() || got == 0) break;
      if (carry) std::memmove(buffer.data(), buffer.data() + kChunk - n, n);
    }
  }
  return 0;
}

}  // namespace kolvar::testing

#endif  // KOLVAR_SCAN_ENGINE_CHUNK_LOOP_ORACLE_H_
