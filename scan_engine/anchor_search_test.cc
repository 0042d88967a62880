// The anchor search reports exactly the occurrences whose anchor lies in the examined range,
// whatever the anchor's place in the pattern; checked against a naive search.
#include "scan_engine/anchor_search.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace kolvar {
namespace {

using Occurrence = std::pair<uint32_t, ptrdiff_t>;  // pattern id, start

TEST(AnchorSearch, FindsEveryOccurrenceOnceAcrossSplitRanges) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const int alphabet = 2 + rng() % 3;
    std::set<std::vector<uint8_t>> distinct;
    const int count = 1 + rng() % 40;
    while (static_cast<int>(distinct.size()) < count) {
      std::vector<uint8_t> p(4 + rng() % 12);
      for (auto& b : p) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng() % alphabet + 'a');
      distinct.insert(p);
    }
    const std::vector<std::vector<uint8_t>> patterns(distinct.begin(), distinct.end());
    const std::vector<std::span<const uint8_t>> spans(patterns.begin(), patterns.end());
    AnchorSearch search;
    search.Build(spans);
    const ptrdiff_t w = static_cast<ptrdiff_t>(search.longest());
    std::vector<uint8_t> text(rng() % 400 + 2 * w);
    for (auto& b : text) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng() % alphabet + 'a');

    std::set<Occurrence> expected;
    for (uint32_t id = 0; id < patterns.size(); ++id) {
      const auto& p = patterns[id];
      for (size_t s = 0; s + p.size() <= text.size(); ++s) {
        if (std::equal(p.begin(), p.end(), text.begin() + s)) expected.insert({id, ptrdiff_t(s)});
      }
    }
    // Examine the anchor positions in random pieces, as blocks of a file would.
    std::set<Occurrence> found;
    const ptrdiff_t last = static_cast<ptrdiff_t>(text.size()) - w;
    for (ptrdiff_t from = 0; from < last;) {
      const ptrdiff_t to = std::min<ptrdiff_t>(last, from + 1 + rng() % 50);
      search.Scan(text.data(), from, to, 0, [&](uint32_t id, ptrdiff_t start) {
        EXPECT_TRUE(found.insert({id, start}).second) << "reported twice";
        return true;
      });
      from = to;
    }
    // Occurrences whose anchor lies in the last w positions are not examined above.
    std::erase_if(expected, [&](const Occurrence& o) {
      return o.second + ptrdiff_t(patterns[o.first].size()) > last;
    });
    std::erase_if(found, [&](const Occurrence& o) {
      return o.second + ptrdiff_t(patterns[o.first].size()) > last;
    });
    ASSERT_EQ(found, expected) << "round " << round;
  }
}

TEST(AnchorSearch, PrefersARareAnchorAndHonoursTheEarliestStart) {
  // A pattern of zeros around one rare byte run: found wherever it starts, never before the
  // earliest start allowed.
  const std::vector<uint8_t> p = {0, 0, 0, 0, 0, 0x9A, 0xBC, 0xDE, 0xF1, 0, 0};
  const std::vector<std::span<const uint8_t>> spans = {p};
  AnchorSearch search;
  search.Build(spans);
  std::vector<uint8_t> text(64, 0);
  std::copy(p.begin(), p.end(), text.begin() + 20);
  std::vector<ptrdiff_t> starts;
  auto collect = [&](uint32_t, ptrdiff_t start) {
    starts.push_back(start);
    return true;
  };
  search.Scan(text.data() + 30, -30, 20, -30, collect);
  EXPECT_EQ(starts, std::vector<ptrdiff_t>{-10});
  starts.clear();
  search.Scan(text.data() + 30, -30, 20, -9, collect);
  EXPECT_TRUE(starts.empty());
}

}  // namespace
}  // namespace kolvar
