// Building the anchor table and bitmap, and the candidate loop.
#include "scan_engine/anchor_search.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace kolvar {
namespace {

// How common a byte is in ordinary files: zero and 0xFF fill binaries, small numbers and
// printable text are frequent; anything else is rare.
int Commonness(uint8_t b) {
  if (b == 0x00) return 16;
  if (b == 0xFF) return 8;
  if (b == ' ' || b == '\n' || b == '\r' || b == '\t') return 6;
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) return 4;
  if (b < 0x10) return 4;
  if (b >= 0x20 && b < 0x7F) return 3;
  return 1;
}

// The offset of the least common 4 bytes of a pattern; repeated bytes count as common.
size_t ChooseAnchor(std::span<const uint8_t> p) {
  size_t best = 0;
  int best_score = 1 << 30;
  for (size_t off = 0; off + AnchorSearch::kAnchorLength <= p.size(); ++off) {
    int score = 0;
    for (size_t k = 0; k < AnchorSearch::kAnchorLength; ++k) {
      score += Commonness(p[off + k]);
      if (k > 0 && p[off + k] == p[off + k - 1]) score += 4;
    }
    if (score < best_score) {
      best_score = score;
      best = off;
    }
  }
  return best;
}

uint32_t Gram(const uint8_t* p) {
  uint32_t g;
  std::memcpy(&g, p, 4);
  return g;
}

}  // namespace

void AnchorSearch::Build(std::span<const std::span<const uint8_t>> patterns) {
  *this = AnchorSearch();
  struct Pending {
    uint32_t anchor;
    Entry entry;
  };
  std::vector<Pending> pending;
  pending.reserve(patterns.size());
  for (uint32_t id = 0; id < patterns.size(); ++id) {
    const auto p = patterns[id];
    const size_t off = ChooseAnchor(p);
    pending.push_back({Gram(p.data() + off),
                       {id, static_cast<uint32_t>(bytes_.size()), static_cast<uint16_t>(p.size()),
                        static_cast<uint16_t>(off)}});
    bytes_.insert(bytes_.end(), p.begin(), p.end());
    longest_ = std::max(longest_, p.size());
  }
  std::stable_sort(pending.begin(), pending.end(),
                   [](const Pending& a, const Pending& b) { return a.anchor < b.anchor; });

  size_t anchors = 0;
  for (size_t i = 0; i < pending.size(); ++i) {
    anchors += i == 0 || pending[i].anchor != pending[i - 1].anchor;
  }
  const size_t table_size = std::bit_ceil(std::max<size_t>(anchors * 2, 16));
  table_.assign(table_size, Slot{0, 0, 0});
  table_mask_ = static_cast<uint32_t>(table_size - 1);
  // About 128 bits per anchor keeps false candidates under 1 % (2^15 to 2^23 bits: 4 KiB for a
  // few signatures, at most 1 MiB).
  const unsigned log2_bits = std::clamp<unsigned>(
      static_cast<unsigned>(std::bit_width(std::max<size_t>(anchors, 1) * 128 - 1)), 15, 23);
  filter_shift_ = 32 - log2_bits;
  filter_.assign((size_t{1} << log2_bits) / 64, 0);

  for (size_t i = 0; i < pending.size();) {
    size_t j = i;
    while (j < pending.size() && pending[j].anchor == pending[i].anchor) {
      entries_.push_back(pending[j].entry);
      ++j;
    }
    const uint32_t anchor = pending[i].anchor;
    uint32_t at = Hash(anchor) & table_mask_;
    while (table_[at].count != 0) at = (at + 1) & table_mask_;
    table_[at] = {anchor, static_cast<uint32_t>(entries_.size() - (j - i)),
                  static_cast<uint32_t>(j - i)};
    const uint32_t h = Hash(anchor);
    filter_[h >> 6] |= uint64_t{1} << (h & 63);
    i = j;
  }
}

const AnchorSearch::Slot* AnchorSearch::Find(uint32_t anchor) const {
  for (uint32_t at = Hash(anchor) & table_mask_;; at = (at + 1) & table_mask_) {
    const Slot& slot = table_[at];
    if (slot.count == 0) return nullptr;
    if (slot.anchor == anchor) return &slot;
  }
}

ptrdiff_t AnchorSearch::NextCandidate(const uint8_t* data, ptrdiff_t from, ptrdiff_t to) const {
  ptrdiff_t at = from;
  // Eight positions per two 8-byte loads, one branch for all eight.
  for (; at + 8 <= to; at += 8) {
    uint64_t low, high;
    std::memcpy(&low, data + at, 8);
    std::memcpy(&high, data + at + 4, 8);
    const bool any =
        FilterHit(static_cast<uint32_t>(low)) | FilterHit(static_cast<uint32_t>(low >> 8)) |
        FilterHit(static_cast<uint32_t>(low >> 16)) | FilterHit(static_cast<uint32_t>(low >> 24)) |
        FilterHit(static_cast<uint32_t>(high)) | FilterHit(static_cast<uint32_t>(high >> 8)) |
        FilterHit(static_cast<uint32_t>(high >> 16)) | FilterHit(static_cast<uint32_t>(high >> 24));
    if (any) break;
  }
  for (; at < to; ++at) {
    if (FilterHit(Gram(data + at))) return at;
  }
  return to;
}

size_t AnchorSearch::memory_bytes() const {
  return entries_.capacity() * sizeof(Entry) + bytes_.capacity() +
         table_.capacity() * sizeof(Slot) + filter_.capacity() * 8;
}

}  // namespace kolvar
