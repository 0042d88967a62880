// The automaton finds every occurrence of every pattern, fed in any split of blocks, with full
// rows or with almost all states sparse; checked against a naive search.
#include "scan_engine/pattern_automaton.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace kolvar {
namespace {

using Occurrence = std::pair<uint32_t, size_t>;  // pattern id, end offset

std::set<Occurrence> Naive(const std::vector<std::vector<uint8_t>>& patterns,
                           const std::vector<uint8_t>& text) {
  std::set<Occurrence> found;
  for (uint32_t id = 0; id < patterns.size(); ++id) {
    const auto& p = patterns[id];
    for (size_t end = p.size(); end <= text.size(); ++end) {
      if (std::equal(p.begin(), p.end(), text.begin() + (end - p.size()))) found.insert({id, end});
    }
  }
  return found;
}

std::set<Occurrence> Scanned(const PatternAutomaton& automaton, const std::vector<uint8_t>& text,
                             std::mt19937& rng) {
  std::set<Occurrence> found;
  uint32_t state = PatternAutomaton::kStart;
  size_t offset = 0;
  while (offset < text.size()) {
    const size_t block = std::min<size_t>(text.size() - offset, 1 + rng() % 40);
    automaton.Scan(&state, text.data() + offset, block, [&](uint32_t node, size_t end) {
      automaton.ForEachPatternAt(node, [&](uint32_t id) { found.insert({id, offset + end}); });
      return true;
    });
    offset += block;
  }
  return found;
}

TEST(PatternAutomaton, FindsEveryOccurrenceInAnyBlockSplit) {
  std::mt19937 rng(7);
  for (const size_t dense_bytes : {size_t{1024}, size_t{8192}, size_t{16} << 20}) {
    for (int round = 0; round < 150; ++round) {
      const int alphabet = 2 + rng() % 3;
      std::set<std::vector<uint8_t>> distinct;
      const int count = 1 + rng() % 30;
      while (static_cast<int>(distinct.size()) < count) {
        std::vector<uint8_t> p(1 + rng() % 6);
        for (auto& b : p) b = static_cast<uint8_t>(rng() % alphabet);
        distinct.insert(p);
      }
      const std::vector<std::vector<uint8_t>> patterns(distinct.begin(), distinct.end());
      std::vector<std::span<const uint8_t>> spans(patterns.begin(), patterns.end());
      PatternAutomaton automaton;
      ASSERT_TRUE(automaton.Build(spans, dense_bytes));
      std::vector<uint8_t> text(rng() % 300);
      for (auto& b : text) b = static_cast<uint8_t>(rng() % alphabet);
      ASSERT_EQ(Scanned(automaton, text, rng), Naive(patterns, text))
          << "dense " << dense_bytes << " round " << round;
    }
  }
}

TEST(PatternAutomaton, StopsWhereTheCallbackAsks) {
  const std::vector<uint8_t> a = {'a'};
  const std::vector<std::span<const uint8_t>> spans = {a};
  PatternAutomaton automaton;
  ASSERT_TRUE(automaton.Build(spans, 1 << 20));
  const std::string text = "xxaxxaxx";
  uint32_t state = PatternAutomaton::kStart;
  std::vector<size_t> ends;
  EXPECT_FALSE(automaton.Scan(&state, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                              [&](uint32_t, size_t end) {
                                ends.push_back(end);
                                return false;
                              }));
  EXPECT_EQ(ends, std::vector<size_t>{3});
}

TEST(PatternAutomaton, WithoutPatternsFindsNothing) {
  PatternAutomaton automaton;
  ASSERT_TRUE(automaton.Build({}, 1 << 20));
  const std::vector<uint8_t> text(100, 0);
  uint32_t state = PatternAutomaton::kStart;
  bool called = false;
  automaton.Scan(&state, text.data(), text.size(), [&](uint32_t, size_t) { return called = true; });
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace kolvar
