// Construction of the compact automaton: a breadth-first trie from the sorted patterns, failure
// and dictionary links, full rows for the shallowest nodes, and the leading-gram filter.
#include "scan_engine/pattern_automaton.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace kolvar {
namespace {

constexpr size_t kRowBytes = 256 * sizeof(uint32_t);

// A node of the level being built: the range of sorted patterns that share its prefix.
struct LevelNode {
  uint32_t node;
  uint32_t begin, end;
};

uint32_t Gram(uint8_t b0, uint8_t b1, uint8_t b2) {
  return uint32_t{b0} | uint32_t{b1} << 8 | uint32_t{b2} << 16;
}

}  // namespace

bool PatternAutomaton::Build(std::span<const std::span<const uint8_t>> patterns,
                             size_t dense_budget) {
  *this = PatternAutomaton();
  std::vector<uint32_t> order(patterns.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::lexicographical_compare(patterns[a].begin(), patterns[a].end(), patterns[b].begin(),
                                        patterns[b].end());
  });

  // Level by level: the patterns sharing a prefix of length `depth` are a consecutive range of
  // the sorted order, the one that is exactly that prefix first.
  auto add_node = [&](uint8_t label) {
    label_.push_back(label);
    first_child_.push_back(0);
    child_count_.push_back(0);
    own_pattern_.push_back(kNone);
    return static_cast<uint32_t>(label_.size() - 1);
  };
  std::vector<LevelNode> level = {{add_node(0), 0, static_cast<uint32_t>(order.size())}};
  for (size_t depth = 0; !level.empty(); ++depth) {
    std::vector<LevelNode> next;
    for (const LevelNode& at : level) {
      uint32_t i = at.begin;
      if (i < at.end && patterns[order[i]].size() == depth) own_pattern_[at.node] = order[i++];
      first_child_[at.node] = static_cast<uint32_t>(label_.size());
      while (i < at.end) {
        const uint8_t byte = patterns[order[i]][depth];
        uint32_t j = i + 1;
        while (j < at.end && patterns[order[j]][depth] == byte) ++j;
        if (label_.size() >= kMaxNodes) return false;
        next.push_back({add_node(byte), i, j});
        ++child_count_[at.node];
        i = j;
      }
    }
    level = std::move(next);
  }

  const size_t nodes = label_.size();
  dense_count_ = std::min(nodes, std::max<size_t>(1, dense_budget / kRowBytes));
  fail_.assign(nodes, 0);
  dict_link_.assign(nodes, kNone);
  state_of_.assign(nodes, 0);
  dense_.assign(dense_count_ * 256, 0);
  auto resolve = [&](uint32_t node, uint8_t byte) -> uint32_t {
    return (node < dense_count_ ? dense_[node * 256 + byte] : SparseStep(node, byte)) >> 8;
  };
  // Breadth-first order puts every failure target before the node itself.
  for (uint32_t u = 0; u < nodes; ++u) {
    const uint32_t first = first_child_[u];
    for (uint32_t v = first; v < first + child_count_[u]; ++v) {
      const uint32_t f = u == 0 ? 0 : resolve(fail_[u], label_[v]);
      fail_[v] = f;
      dict_link_[v] = own_pattern_[f] != kNone ? f : dict_link_[f];
      state_of_[v] = v << 8 |
                     (own_pattern_[v] != kNone || dict_link_[v] != kNone ? kHasOutput : 0) |
                     (v >= dense_count_ ? kSparse : 0);
    }
    if (u < dense_count_) {
      uint32_t* row = &dense_[size_t{u} * 256];
      if (u == 0) {
        std::fill(row, row + 256, state_of_[0]);
      } else {
        std::copy_n(&dense_[size_t{fail_[u]} * 256], 256, row);
      }
      for (uint32_t v = first; v < first + child_count_[u]; ++v) row[label_[v]] = state_of_[v];
    }
  }
  BuildFilter(patterns);
  return true;
}

void PatternAutomaton::BuildFilter(std::span<const std::span<const uint8_t>> patterns) {
  size_t grams = 0;
  for (const auto& p : patterns) grams += p.size() >= 3 ? 1 : p.size() == 2 ? 256 : 65536;
  filter_all_ = patterns.empty();
  // About 32 bits per gram keeps false candidates near 3 %; 2^15 to 2^22 bits.
  const unsigned log2_bits =
      std::clamp<unsigned>(std::bit_width(std::max<size_t>(grams, 1) * 32 - 1), 15, 22);
  filter_shift_ = 32 - log2_bits;
  filter_.assign((size_t{1} << log2_bits) / 64, 0);
  for (const auto& p : patterns) {
    if (p.size() >= 3) {
      MarkGram(Gram(p[0], p[1], p[2]));
    } else if (p.size() == 2) {
      for (unsigned b = 0; b < 256; ++b) MarkGram(Gram(p[0], p[1], b));
    } else {
      for (unsigned b = 0; b < 65536; ++b) MarkGram(Gram(p[0], b & 0xFF, b >> 8));
    }
  }
}

uint32_t PatternAutomaton::ChildOf(uint32_t node, uint8_t byte) const {
  const uint32_t first = first_child_[node];
  const uint32_t last = first + child_count_[node];
  if (child_count_[node] <= 8) {
    for (uint32_t v = first; v < last; ++v) {
      if (label_[v] == byte) return v;
    }
    return kNone;
  }
  const auto it = std::lower_bound(label_.begin() + first, label_.begin() + last, byte);
  return it != label_.begin() + last && *it == byte ? static_cast<uint32_t>(it - label_.begin())
                                                    : kNone;
}

uint32_t PatternAutomaton::SparseStep(uint32_t node, uint8_t byte) const {
  for (;;) {
    const uint32_t child = ChildOf(node, byte);
    if (child != kNone) return state_of_[child];
    node = fail_[node];
    if (node < dense_count_) return dense_[size_t{node} * 256 + byte];
  }
}

size_t PatternAutomaton::NextCandidate(const uint8_t* data, size_t from, size_t end) const {
  if (filter_all_) return from;
  size_t i = from;
  // Four positions per 8-byte load while 8 bytes are readable (end + 3 bounds the data).
  for (; i + 5 <= end; i += 4) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    const bool any = FilterHit(static_cast<uint32_t>(word) & 0xFFFFFF) |
                     FilterHit(static_cast<uint32_t>(word >> 8) & 0xFFFFFF) |
                     FilterHit(static_cast<uint32_t>(word >> 16) & 0xFFFFFF) |
                     FilterHit(static_cast<uint32_t>(word >> 24) & 0xFFFFFF);
    if (any) break;
  }
  for (; i < end; ++i) {
    uint32_t gram;
    std::memcpy(&gram, data + i, 4);
    if (FilterHit(gram & 0xFFFFFF)) return i;
  }
  return end;
}

size_t PatternAutomaton::memory_bytes() const {
  return label_.capacity() + first_child_.capacity() * 4 + child_count_.capacity() * 2 +
         fail_.capacity() * 4 + own_pattern_.capacity() * 4 + dict_link_.capacity() * 4 +
         state_of_.capacity() * 4 + dense_.capacity() * 4 + filter_.capacity() * 8;
}

}  // namespace kolvar
