// The matcher: one pass over a file's bytes with every applying signature at once, giving the
// result and virus id of the device's per-signature chunk loop.
//
// What that loop decides, signature by signature (n = pattern length, S = file size, B = 16384):
// the pattern is sought at every offset of the file's data and, in the last chunk searched, at
// the offsets whose window runs on into the zero bytes after the data. That chunk holds the
// file's last bytes followed by Z(n, S) zero bytes: the first chunk is B bytes, each later one
// carries n bytes over and reads B - n new ones, so
//   Z = B - S                        when S < B (one short chunk),
//   Z = 0                            when (S - B) is a multiple of B - n (the last read comes back
//                                    empty and is not searched: a file of exactly B bytes),
//   Z = (B - n) - (S - B) mod (B - n) otherwise.
// An empty file matches nothing. The lowest slot that matches wins, so the scan may end as soon as
// the lowest applying slot has matched. A record of length 0 is no signature: the device's loop
// found it at position 0 of every non-empty file, so one such record had every file deleted; it
// is left out here as the load leaves it out.
//
// The search: patterns of 4 bytes and more through their anchors (anchor_search.h), shorter ones
// through the automaton (pattern_automaton.h), both fed the file block by block; then both run on
// over the zero bytes after the data, keeping a match there only when its window ends within
// Z(n, S) of the end.
#include "scan_engine/signature_matcher.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/file.h"
#include "platform/thread.h"
#include "scan_engine/anchor_search.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/pattern_automaton.h"

namespace kolvar {
namespace {

constexpr uint32_t kNoSlot = 0xFFFFFFFF;
// Read size with pacing off: a whole number of chunks.
constexpr size_t kScratchSize = 16 * kMatchChunkSize;
// Class index 0 is "no class" (and the any-file row, which behaves the same); 1..10 the rows.
constexpr size_t kClassCount = 11;

size_t ClassIndex(uint32_t class_bit) {
  for (size_t row = 0; row + 1 < kClassCount; ++row) {
    if (kFileTypeClasses[row].class_bit == class_bit) return row + 1;
  }
  return 0;
}

uint32_t ClassBitOfIndex(size_t index) {
  return index == 0 ? 0 : kFileTypeClasses[index - 1].class_bit;
}

// Zero bytes that follow the data in the last chunk the device's loop searches.
uint64_t TrailingZeros(uint64_t size, uint64_t length) {
  if (size < kMatchChunkSize) return kMatchChunkSize - size;
  const uint64_t carried_read = kMatchChunkSize - length;
  const uint64_t last = (size - kMatchChunkSize) % carried_read;
  return last == 0 ? 0 : carried_read - last;
}

std::u16string FullPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  path += name;
  return path;
}

}  // namespace

struct SignatureMatcher::Compiled {
  // Which slots apply to a file of one class.
  struct ClassPlan {
    uint32_t first_slot = kNoSlot;  // lowest applying slot
    uint32_t last_slot = kNoSlot;   // highest applying slot
  };

  // Patterns of 1 to 3 bytes: too short for an anchor, sought with the automaton.
  PatternAutomaton short_patterns;
  std::vector<uint32_t> short_ids;  // automaton pattern id -> distinct pattern
  size_t longest_short = 0;
  // Patterns of 4 bytes and more.
  AnchorSearch long_patterns;
  std::vector<uint32_t> long_ids;  // anchor search pattern id -> distinct pattern

  std::vector<uint32_t> virus_ids;           // per slot
  std::vector<uint32_t> type_masks;          // per slot
  std::vector<uint16_t> pattern_lengths;     // per distinct pattern
  std::vector<uint32_t> pattern_slot_begin;  // per distinct pattern, into pattern_slots; +1 end
  std::vector<uint32_t> pattern_slots;       // slots of each pattern, ascending
  std::array<ClassPlan, kClassCount> plans;
};

namespace {

// Bytes of the file before a block that the long-pattern search needs: an anchor examined in a
// block may belong to a window that began up to two pattern lengths earlier.
constexpr size_t kHistory = 2 * kSignaturePatternCapacity;

// The search of one file: fed its bytes in order (each block with the bytes before it at hand),
// then finished with the zero bytes that the device's last chunk holds.
class MatchSession {
 public:
  using Compiled = const SignatureMatcher::Compiled;
  MatchSession(Compiled& compiled, size_t class_index)
      : compiled_(compiled),
        class_bit_(ClassBitOfIndex(class_index)),
        plan_(compiled.plans[class_index]) {}

  // `block` holds `size` new bytes; the `history` bytes before it are the file's bytes before
  // them (at least min(kHistory, bytes fed so far)). False once the result is decided: no later
  // byte can change it.
  bool Feed(const uint8_t* block, size_t size, size_t history) {
    const uint64_t block_start = consumed_;
    consumed_ += size;
    if (Decided()) return false;
    const auto& automaton = compiled_.short_patterns;
    if (compiled_.longest_short != 0 &&
        !automaton.Scan(&short_state_, block, size, [&](uint32_t node, size_t) {
          automaton.ForEachPatternAt(node, [&](uint32_t p) { Offer(compiled_.short_ids[p]); });
          return !Decided();
        })) {
      return false;
    }
    // Anchors whose windows lie wholly in the bytes fed so far.
    const size_t longest = compiled_.long_patterns.longest();
    if (longest != 0 && consumed_ >= next_anchor_ + longest) {
      const uint64_t to = consumed_ - longest;
      const auto from = static_cast<ptrdiff_t>(next_anchor_ - block_start);
      const auto min_start = -static_cast<ptrdiff_t>(std::min<uint64_t>(history, block_start));
      next_anchor_ = to;
      if (!compiled_.long_patterns.Scan(block, from, static_cast<ptrdiff_t>(to - block_start),
                                        min_start, [&](uint32_t p, ptrdiff_t) {
                                          Offer(compiled_.long_ids[p]);
                                          return !Decided();
                                        })) {
        return false;
      }
    }
    KeepTail(block, size, history);
    return true;
  }

  // The windows of the last chunk that run into the zero bytes after the data. A read that
  // failed leaves them out: the device's loop searches zeros only after the end of the file.
  void Finish(bool reached_end) {
    if (consumed_ == 0 || !reached_end || Decided()) return;
    FinishShort();
    if (!Decided()) FinishLong();
  }

  uint32_t best_slot() const { return best_; }

 private:
  bool Decided() const { return best_ == plan_.first_slot; }

  // Whether a window of a pattern that ends `end` bytes into the file lies within the device's
  // last searched chunk.
  bool InLastChunk(uint32_t pattern, uint64_t end) const {
    return end <= consumed_ + TrailingZeros(consumed_, compiled_.pattern_lengths[pattern]);
  }

  void FinishShort() {
    static constexpr uint8_t kZeros[8] = {};
    const auto& automaton = compiled_.short_patterns;
    if (compiled_.longest_short == 0) return;
    automaton.Scan(&short_state_, kZeros, compiled_.longest_short, [&](uint32_t node, size_t end) {
      automaton.ForEachPatternAt(node, [&](uint32_t p) {
        const uint32_t pattern = compiled_.short_ids[p];
        if (InLastChunk(pattern, consumed_ + end)) Offer(pattern);
      });
      return !Decided();
    });
  }

  void FinishLong() {
    const size_t longest = compiled_.long_patterns.longest();
    if (longest == 0) return;
    // The last bytes of the file, then zeros enough for every window that starts at or before
    // the file's end (one that starts later is all zeros, like the one that starts at the end).
    uint8_t tail[kHistory + 2 * kSignaturePatternCapacity + 8] = {};
    std::memcpy(tail, tail_, tail_size_);
    const uint64_t tail_start = consumed_ - tail_size_;
    compiled_.long_patterns.Scan(
        tail, static_cast<ptrdiff_t>(next_anchor_ - tail_start),
        static_cast<ptrdiff_t>(tail_size_ + longest), 0, [&](uint32_t p, ptrdiff_t start) {
          const uint32_t pattern = compiled_.long_ids[p];
          if (InLastChunk(pattern, tail_start + start + compiled_.pattern_lengths[pattern])) {
            Offer(pattern);
          }
          return !Decided();
        });
  }

  void KeepTail(const uint8_t* block, size_t size, size_t history) {
    const size_t keep = static_cast<size_t>(std::min<uint64_t>(kHistory, consumed_));
    if (size >= keep) {
      std::memcpy(tail_, block + size - keep, keep);
    } else {
      // The block is shorter than the tail: the rest comes from the bytes before it.
      const size_t earlier = std::min(keep - size, history);
      std::memcpy(tail_, block - earlier, earlier);
      std::memcpy(tail_ + earlier, block, size);
    }
    tail_size_ = keep;
  }

  void Offer(uint32_t pattern) {
    const uint32_t* slot = compiled_.pattern_slots.data() + compiled_.pattern_slot_begin[pattern];
    const uint32_t* end =
        compiled_.pattern_slots.data() + compiled_.pattern_slot_begin[pattern + 1];
    for (; slot != end && *slot < best_; ++slot) {
      if (SignatureApplies(compiled_.type_masks[*slot], class_bit_)) {
        best_ = *slot;
        return;
      }
    }
  }

  Compiled& compiled_;
  const uint32_t class_bit_;
  const Compiled::ClassPlan& plan_;
  uint32_t best_ = kNoSlot;
  uint32_t short_state_ = PatternAutomaton::kStart;
  uint64_t consumed_ = 0;
  uint64_t next_anchor_ = 0;  // first anchor position not yet examined
  uint8_t tail_[kHistory];    // the last bytes fed
  size_t tail_size_ = 0;
};

}  // namespace

MatchScratch::MatchScratch() : buffer_(std::make_unique<uint8_t[]>(kHistory + kScratchSize)) {}
MatchScratch::~MatchScratch() = default;

SignatureMatcher::SignatureMatcher() { Build({}); }
SignatureMatcher::~SignatureMatcher() = default;
SignatureMatcher::SignatureMatcher(SignatureMatcher&&) noexcept = default;
SignatureMatcher& SignatureMatcher::operator=(SignatureMatcher&&) noexcept = default;

bool SignatureMatcher::Build(std::span<const SignatureRecord> records,
                             const MatcherOptions& options) {
  auto compiled = std::make_unique<Compiled>();
  std::vector<std::span<const uint8_t>> patterns;
  std::vector<std::vector<uint32_t>> slots_of_pattern;
  std::unordered_map<std::string_view, uint32_t> pattern_ids;
  for (const SignatureRecord& record : records) {
    if (record.length <= 0 || record.length > static_cast<int32_t>(kSignaturePatternCapacity)) {
      continue;  // never loaded; left out as the load leaves it out
    }
    const auto slot = static_cast<uint32_t>(compiled->virus_ids.size());
    compiled->virus_ids.push_back(record.virus_id);
    compiled->type_masks.push_back(record.type_mask);
    for (size_t index = 0; index < kClassCount; ++index) {
      if (!SignatureApplies(record.type_mask, ClassBitOfIndex(index))) continue;
      Compiled::ClassPlan& plan = compiled->plans[index];
      if (plan.first_slot == kNoSlot) plan.first_slot = slot;
      plan.last_slot = slot;
    }
    const std::string_view key(reinterpret_cast<const char*>(record.pattern),
                               static_cast<size_t>(record.length));
    auto [it, inserted] = pattern_ids.try_emplace(key, static_cast<uint32_t>(patterns.size()));
    if (inserted) {
      patterns.push_back(record.Pattern());
      slots_of_pattern.emplace_back();
      compiled->pattern_lengths.push_back(static_cast<uint16_t>(record.length));
    }
    slots_of_pattern[it->second].push_back(slot);
  }
  for (const auto& slots : slots_of_pattern) {
    compiled->pattern_slot_begin.push_back(static_cast<uint32_t>(compiled->pattern_slots.size()));
    compiled->pattern_slots.insert(compiled->pattern_slots.end(), slots.begin(), slots.end());
  }
  compiled->pattern_slot_begin.push_back(static_cast<uint32_t>(compiled->pattern_slots.size()));
  std::vector<std::span<const uint8_t>> short_patterns, long_patterns;
  for (uint32_t id = 0; id < patterns.size(); ++id) {
    if (patterns[id].size() < AnchorSearch::kAnchorLength) {
      short_patterns.push_back(patterns[id]);
      compiled->short_ids.push_back(id);
      compiled->longest_short = std::max(compiled->longest_short, patterns[id].size());
    } else {
      long_patterns.push_back(patterns[id]);
      compiled->long_ids.push_back(id);
    }
  }
  if (!compiled->short_patterns.Build(short_patterns, options.dense_bytes)) return false;
  compiled->long_patterns.Build(long_patterns);
  compiled_ = std::move(compiled);
  return true;
}

size_t SignatureMatcher::signature_count() const { return compiled_->virus_ids.size(); }

size_t SignatureMatcher::memory_bytes() const {
  const Compiled& c = *compiled_;
  return sizeof(c) + c.short_patterns.memory_bytes() + c.long_patterns.memory_bytes() +
         c.short_ids.capacity() * 4 + c.long_ids.capacity() * 4 + c.virus_ids.capacity() * 4 +
         c.type_masks.capacity() * 4 + c.pattern_lengths.capacity() * 2 +
         c.pattern_slot_begin.capacity() * 4 + c.pattern_slots.capacity() * 4;
}

int SignatureMatcher::MatchBytes(std::u16string_view file_name, std::span<const uint8_t> content,
                                 uint32_t* virus_id, size_t block_size) const {
  std::string extension;
  if (!FileExtension(file_name, &extension)) return 0;
  const size_t class_index = ClassIndex(FileTypeClassOf(extension));
  const Compiled::ClassPlan& plan = compiled_->plans[class_index];
  if (plan.first_slot == kNoSlot) return 0;
  MatchSession session(*compiled_, class_index);
  const size_t step = block_size == 0 ? content.size() : block_size;
  for (size_t at = 0; at < content.size(); at += step) {
    if (!session.Feed(content.data() + at, std::min(step, content.size() - at), at)) break;
  }
  session.Finish(true);
  const uint32_t slot = session.best_slot();
  *virus_id = compiled_->virus_ids[slot == kNoSlot ? plan.last_slot : slot];
  return slot == kNoSlot ? 0 : 1;
}

int SignatureMatcher::MatchFile(std::u16string_view folder, std::u16string_view file_name,
                                std::u16string_view database_path, const MatchControl& control,
                                MatchScratch* scratch, uint32_t* virus_id,
                                MatchStats* stats) const {
  MatchStats local_stats;
  MatchStats& out = stats ? *stats : local_stats;
  out = MatchStats{};
  std::string extension;
  if (!FileExtension(file_name, &extension)) {
    out.status = MatchStatus::kNotTested;
    return 0;
  }
  const size_t class_index = ClassIndex(FileTypeClassOf(extension));
  const std::u16string path = FullPath(folder, file_name);
  if (path == database_path) {
    out.status = MatchStatus::kNotTested;
    return 0;
  }
  const Compiled::ClassPlan& plan = compiled_->plans[class_index];
  if (plan.first_slot == kNoSlot) return 0;  // nothing applies: the file is not opened

  // The device's loop writes the id of the signature it is about to try, so a file that cannot
  // be opened, or a stopped test, leaves the first applying id.
  *virus_id = compiled_->virus_ids[plan.first_slot];
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    out.status = MatchStatus::kOpenFailed;
    return 0;
  }
  std::unique_ptr<MatchScratch> own_scratch;
  if (!scratch) scratch = (own_scratch = std::make_unique<MatchScratch>()).get();
  // Each read lands after the kHistory bytes of the file that came before it.
  uint8_t* const history = scratch->buffer();
  uint8_t* const block = history + kHistory;
  const uint32_t read_size = control.pacing ? kMatchChunkSize : kScratchSize;

  MatchSession session(*compiled_, class_index);
  bool reached_end = false;
  for (uint64_t attempt = 1;; ++attempt) {
    if (control.pacing && attempt % 2 == 0) platform::Sleep(kMatchPacingSleepMs);
    if (control.gate && !control.gate->Checkpoint()) {
      out.status = MatchStatus::kStopped;
      return 0;
    }
    uint32_t got = 0;
    if (!file.Read(block, read_size, &got)) break;
    if (got == 0) {
      reached_end = true;
      break;
    }
    const size_t before = static_cast<size_t>(std::min<uint64_t>(out.bytes_read, kHistory));
    out.bytes_read += got;
    out.chunks_read = (out.bytes_read + kMatchChunkSize - 1) / kMatchChunkSize;
    if (!session.Feed(block, got, before)) break;
    std::memmove(history, history + got, kHistory);
  }
  session.Finish(reached_end);
  const uint32_t slot = session.best_slot();
  if (slot == kNoSlot) {
    *virus_id = compiled_->virus_ids[plan.last_slot];
    out.status = reached_end ? MatchStatus::kClean : MatchStatus::kReadFailed;
    return 0;
  }
  *virus_id = compiled_->virus_ids[slot];
  out.status = MatchStatus::kInfected;
  return 1;
}

}  // namespace kolvar
