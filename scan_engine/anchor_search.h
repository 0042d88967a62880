// The search for the signature patterns of 4 bytes and more. Each pattern is represented by one
// 4-byte anchor, the least common-looking 4 bytes inside it (zero runs and text are everywhere in
// real files; a rare anchor keeps false candidates rare). A scan tests every position's 4 bytes
// against a bitmap of the anchors' hashes, and only at a hit looks the anchor up and compares
// the patterns that carry it. The work per byte does not grow with the number of patterns.
// Immutable after Build; safe for concurrent scans.
#ifndef KOLVAR_SCAN_ENGINE_ANCHOR_SEARCH_H_
#define KOLVAR_SCAN_ENGINE_ANCHOR_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace kolvar {

class AnchorSearch {
 public:
  static constexpr size_t kAnchorLength = 4;

  // Every pattern must be at least kAnchorLength long; ids are the indices.
  void Build(std::span<const std::span<const uint8_t>> patterns);

  bool empty() const { return entries_.empty(); }
  size_t longest() const { return longest_; }
  size_t memory_bytes() const;

  // Finds the occurrences whose anchor begins at a position in [from, to) of `data`, calling
  // on_match(pattern, start) with start relative to `data` (it may be negative when `data` is
  // preceded by readable bytes) until on_match returns false; then Scan returns false. Every
  // byte from data + from - longest() to data + to + longest() must be readable; occurrences
  // starting before data + min_start are not reported.
  template <typename OnMatch>
  bool Scan(const uint8_t* data, ptrdiff_t from, ptrdiff_t to, ptrdiff_t min_start,
            OnMatch&& on_match) const;

 private:
  struct Entry {
    uint32_t pattern;
    uint32_t bytes;   // offset of the pattern in bytes_
    uint16_t length;  // pattern length
    uint16_t offset;  // where the anchor lies in the pattern
  };
  struct Slot {
    uint32_t anchor;
    uint32_t first;  // entries_[first, first + count) carry this anchor
    uint32_t count;  // 0: empty slot
  };

  uint32_t Hash(uint32_t gram) const { return (gram * 0x9E3779B1u) >> filter_shift_; }
  bool FilterHit(uint32_t gram) const {
    const uint32_t h = Hash(gram);
    return (filter_[h >> 6] >> (h & 63)) & 1;
  }
  const Slot* Find(uint32_t anchor) const;
  // Next position in [from, to) whose 4 bytes pass the filter; `to` when none.
  ptrdiff_t NextCandidate(const uint8_t* data, ptrdiff_t from, ptrdiff_t to) const;

  std::vector<Entry> entries_;    // grouped by anchor
  std::vector<uint8_t> bytes_;    // the patterns, one after another
  std::vector<Slot> table_;       // open addressing by anchor, power-of-two size
  std::vector<uint64_t> filter_;  // anchor-hash bitmap
  uint32_t filter_shift_ = 32;
  uint32_t table_mask_ = 0;
  size_t longest_ = 0;
};

template <typename OnMatch>
bool AnchorSearch::Scan(const uint8_t* data, ptrdiff_t from, ptrdiff_t to, ptrdiff_t min_start,
                        OnMatch&& on_match) const {
  if (entries_.empty()) return true;
  for (ptrdiff_t at = from; (at = NextCandidate(data, at, to)) < to; ++at) {
    uint32_t gram;
    std::memcpy(&gram, data + at, 4);
    const Slot* slot = Find(gram);
    if (slot == nullptr) continue;
    for (uint32_t e = slot->first; e < slot->first + slot->count; ++e) {
      const Entry& entry = entries_[e];
      const ptrdiff_t start = at - entry.offset;
      if (start < min_start) continue;
      if (std::memcmp(data + start, bytes_.data() + entry.bytes, entry.length) != 0) continue;
      if (!on_match(entry.pattern, start)) return false;
    }
  }
  return true;
}

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_ANCHOR_SEARCH_H_
