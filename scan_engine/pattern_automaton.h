// A multi-pattern automaton (Aho-Corasick) in a compact form; the signature matcher uses it for
// the patterns too short for an anchor (1 to 3 bytes), which must be followed byte by byte. The
// shallow states, where a scan spends nearly all its time, as full 256-entry rows; the deep ones
// as sorted child ranges with failure links. Before each step from the root, a bitmap of the
// patterns' leading 3-byte grams skips the bytes where no pattern can start. Immutable after
// Build; Scan keeps its state in the caller's variable, so one automaton serves many threads.
#ifndef KOLVAR_SCAN_ENGINE_PATTERN_AUTOMATON_H_
#define KOLVAR_SCAN_ENGINE_PATTERN_AUTOMATON_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace kolvar {

class PatternAutomaton {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  // Largest number of trie nodes (the state encoding keeps 24 bits of node number).
  static constexpr size_t kMaxNodes = (size_t{1} << 24) - 1;

  // `patterns` must be distinct and non-empty; pattern ids are their indices. `dense_budget` caps
  // the bytes of full rows. False when the trie would exceed kMaxNodes.
  bool Build(std::span<const std::span<const uint8_t>> patterns, size_t dense_budget);

  // The state before any byte (also after Build of no patterns).
  static constexpr uint32_t kStart = 0;

  // Runs the automaton over `data` from *state. After each byte that completes one or more
  // patterns it calls on_match(node, end) with the offset just past that byte; when on_match
  // returns false the scan ends there and Scan returns false.
  template <typename OnMatch>
  bool Scan(uint32_t* state, const uint8_t* data, size_t size, OnMatch&& on_match) const;

  // Ids of the patterns that end at a node handed to on_match, each once.
  template <typename Visit>
  void ForEachPatternAt(uint32_t node, Visit&& visit) const;

  size_t node_count() const { return label_.size(); }
  size_t dense_count() const { return dense_count_; }
  size_t memory_bytes() const;

 private:
  // A state is node << 8 | flags: kHasOutput when patterns end here, kSparse when the node has
  // no full row.
  static constexpr uint32_t kHasOutput = 1;
  static constexpr uint32_t kSparse = 2;

  uint32_t Step(uint32_t state, uint8_t byte) const {
    if (!(state & kSparse)) return dense_[(state & ~uint32_t{0xFF}) | byte];
    return SparseStep(state >> 8, byte);
  }
  uint32_t SparseStep(uint32_t node, uint8_t byte) const;
  uint32_t ChildOf(uint32_t node, uint8_t byte) const;  // kNone when there is none
  // First position in [from, end) where a pattern may start; end when none. Reads 4 bytes at
  // each position, so end + 3 <= the data's size.
  size_t NextCandidate(const uint8_t* data, size_t from, size_t end) const;
  bool FilterHit(uint32_t gram) const {
    const uint32_t h = (gram * 0x9E3779B1u) >> filter_shift_;
    return (filter_[h >> 6] >> (h & 63)) & 1;
  }
  void MarkGram(uint32_t gram) {
    const uint32_t h = (gram * 0x9E3779B1u) >> filter_shift_;
    filter_[h >> 6] |= uint64_t{1} << (h & 63);
  }
  void BuildFilter(std::span<const std::span<const uint8_t>> patterns);

  // Per node, in breadth-first order (children of a node are consecutive, sorted by label).
  std::vector<uint8_t> label_;
  std::vector<uint32_t> first_child_;
  std::vector<uint16_t> child_count_;
  std::vector<uint32_t> fail_;
  std::vector<uint32_t> own_pattern_;  // the pattern that ends exactly here, or kNone
  std::vector<uint32_t> dict_link_;    // nearest proper suffix node where a pattern ends, or kNone
  std::vector<uint32_t> state_of_;     // the encoded state of each node
  // Full rows of the first dense_count_ nodes: dense_[node * 256 + byte] is the next state.
  std::vector<uint32_t> dense_;
  size_t dense_count_ = 0;
  // Leading-gram bitmap; patterns shorter than 3 bytes mark every gram they begin.
  std::vector<uint64_t> filter_;
  uint32_t filter_shift_ = 32;
  bool filter_all_ = true;  // no filtering possible (no patterns): every position is a candidate
};

template <typename OnMatch>
bool PatternAutomaton::Scan(uint32_t* state, const uint8_t* data, size_t size,
                            OnMatch&& on_match) const {
  uint32_t s = *state;
  const size_t filter_end = size >= 4 ? size - 3 : 0;
  size_t i = 0;
  while (i < size) {
    if (s == kStart && i < filter_end) {
      i = NextCandidate(data, i, filter_end);
      if (i == size) break;
    }
    s = Step(s, data[i++]);
    if ((s & kHasOutput) && !on_match(s >> 8, i)) {
      *state = s;
      return false;
    }
  }
  *state = s;
  return true;
}

template <typename Visit>
void PatternAutomaton::ForEachPatternAt(uint32_t node, Visit&& visit) const {
  if (own_pattern_[node] == kNone) node = dict_link_[node];
  while (node != kNone) {
    visit(own_pattern_[node]);
    node = dict_link_[node];
  }
}

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_PATTERN_AUTOMATON_H_
