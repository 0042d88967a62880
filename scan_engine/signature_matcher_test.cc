// The fast matcher against the device's literal chunk loop (chunk_loop_oracle.h) on randomised
// files and signature tables, the edge cases of the loop one by one, and the file path: reading
// through the platform layer, pacing, stop and the database file.
#include "scan_engine/signature_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/chunk_loop_oracle.h"
#include "scan_engine/file_type_classes.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr size_t kChunk = kMatchChunkSize;

SignatureRecord Record(uint32_t id, uint32_t mask, std::string_view pattern) {
  SignatureRecord record{};
  EXPECT_LE(pattern.size(), kSignaturePatternCapacity);
  pattern = pattern.substr(0, kSignaturePatternCapacity);
  record.virus_id = id;
  record.type_mask = mask;
  record.length = static_cast<int32_t>(pattern.size());
  std::memcpy(record.pattern, pattern.data(), pattern.size());
  return record;
}

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct Outcome {
  int result;
  uint32_t virus_id;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "{result " << o.result << ", id " << o.virus_id << "}";
}

Outcome Oracle(const std::vector<SignatureRecord>& table, std::u16string_view name,
               std::span<const uint8_t> content) {
  uint32_t id = 0;
  const int result = testing::OracleMatch(table, name, content, &id);
  return {result, id};
}

Outcome Fast(const SignatureMatcher& matcher, std::u16string_view name,
             std::span<const uint8_t> content, size_t block_size = 0) {
  uint32_t id = 0;
  const int result = matcher.MatchBytes(name, content, &id, block_size);
  return {result, id};
}

// Random cases aimed at the loop's corners: sizes near chunk borders and near the borders of the
// carried chunks, patterns cut from the file around those borders and at its end (often running
// on into zeros), small alphabets so that partial matches abound, and all the file-name rules.
class CaseGenerator {
 public:
  explicit CaseGenerator(uint32_t seed) : rng_(seed) {}

  std::u16string Name() {
    static const char16_t* kNames[] = {u"a.exe",
                                       u"A.EXE",
                                       u"b.dll",
                                       u"c.txt",
                                       u"d.html",
                                       u"e.HTM",
                                       u"f.gif",
                                       u"g.dat",
                                       u"h.2bp",
                                       u"i.psw",
                                       u"j.pxl",
                                       u"noextension",
                                       u"ends.",
                                       u"a.exe.txt",
                                       u"report.txt.exe",
                                       u".hidden",
                                       u"x.123456789012345",
                                       u"x.1234567890123456",
                                       u"x.*.*",
                                       u"caf\u00e9.exe",
                                       u"y.t\u00ebxt"};
    return kNames[Pick(std::size(kNames))];
  }

  uint32_t Mask() {
    switch (Pick(8)) {
      case 0:
      case 1:
        return kAnyFileClass;
      case 2:
        return 0;
      case 3:
        return uint32_t{1} << Pick(10);
      case 4:
        return (uint32_t{1} << Pick(10)) | (uint32_t{1} << Pick(10));
      case 5:
        return static_cast<uint32_t>(rng_()) & 0x3FF;
      case 6:
        return static_cast<uint32_t>(rng_()) | kAnyFileClass;
      default:
        return 0x1 | 0x10 | 0x40;
    }
  }

  size_t Size(size_t typical_length) {
    switch (Pick(6)) {
      case 0:
        return Pick(400);
      case 1:
        return kChunk * Pick(4);
      case 2:
        return std::max<int64_t>(0, int64_t(kChunk * (1 + Pick(3))) + Pick(601) - 300);
      case 3: {
        // Near the end of a carried chunk for one of the case's lengths.
        const size_t carried = kChunk - typical_length;
        const int64_t delta = Pick(2) ? int64_t(Pick(3)) - 1 : int64_t(Pick(9)) - 4;
        return std::max<int64_t>(1, int64_t(kChunk + carried * (1 + Pick(2))) + delta);
      }
      case 4:
        return kChunk + Pick(3) - 1;
      default:
        return 1 + Pick(3 * kChunk);
    }
  }

  std::vector<uint8_t> Content(size_t size) {
    std::vector<uint8_t> content(size);
    const int alphabet = Pick(3) == 0 ? 256 : Pick(2) == 0 ? 2 : 4;
    for (auto& b : content) b = static_cast<uint8_t>(Pick(alphabet));
    if (Pick(3) == 0) {
      // A run of zeros inside, as binaries have.
      const size_t at = size ? Pick(size) : 0;
      const size_t run = std::min(size - at, Pick(600));
      std::fill_n(content.begin() + at, run, 0);
    }
    return content;
  }

  size_t Length() {
    static const size_t kLengths[] = {0, 1, 2, 3, 4, 7, 16, 255, 256};
    return Pick(3) == 0 ? 1 + Pick(256) : kLengths[Pick(std::size(kLengths))];
  }

  std::string Pattern(const std::vector<uint8_t>& content, size_t length) {
    std::string pattern(length, '\0');
    const size_t size = content.size();
    int64_t start;
    switch (Pick(6)) {
      case 0:  // random bytes: rarely found
        for (auto& c : pattern) c = static_cast<char>(rng_());
        return pattern;
      case 1:  // across a chunk border
        start = int64_t(kChunk * (1 + Pick(3))) - int64_t(Pick(length + 1));
        break;
      case 2: {  // running on past the end of the data, mostly by a few zero bytes
        const size_t zeros = Pick(2) ? Pick(4) : Pick(length + 1);
        start = int64_t(size + zeros) - int64_t(length);
        break;
      }
      case 3:  // near a carried-chunk border of this length
        start = int64_t(kChunk + (kChunk - length) * Pick(3)) - int64_t(Pick(length + 1));
        break;
      default:
        start = size ? int64_t(Pick(size)) : 0;
        break;
    }
    for (size_t k = 0; k < length; ++k) {
      const int64_t at = start + int64_t(k);
      pattern[k] = at >= 0 && at < int64_t(size) ? static_cast<char>(content[at]) : '\0';
    }
    if (length && Pick(4) == 0) pattern[Pick(length)] ^= static_cast<char>(1 + Pick(255));
    return pattern;
  }

  size_t Pick(size_t bound) { return bound ? rng_() % bound : 0; }

 private:
  std::mt19937_64 rng_;
};

void RunDifferential(uint32_t seed, int cases, size_t max_signatures, size_t dense_bytes) {
  CaseGenerator gen(seed);
  int infected = 0;
  for (int c = 0; c < cases; ++c) {
    const size_t typical = gen.Length();
    const std::vector<uint8_t> content = gen.Content(gen.Size(typical));
    std::vector<SignatureRecord> table;
    const size_t signatures = 1 + gen.Pick(max_signatures);
    for (size_t s = 0; s < signatures; ++s) {
      const size_t length = gen.Pick(2) ? typical : gen.Length();
      std::string pattern = gen.Pattern(content, length);
      if (!table.empty() && gen.Pick(10) == 0) {
        const SignatureRecord& earlier = table[gen.Pick(table.size())];  // one pattern, two slots
        pattern.assign(reinterpret_cast<const char*>(earlier.pattern), earlier.length);
      }
      table.push_back(Record(static_cast<uint32_t>(1 + gen.Pick(1000)), gen.Mask(), pattern));
    }
    SignatureMatcher matcher;
    ASSERT_TRUE(matcher.Build(table, MatcherOptions{dense_bytes}));
    const std::u16string name = gen.Name();
    const Outcome expected = Oracle(table, name, content);
    // Whole, and in pieces as reads deliver them (down to single bytes).
    const size_t block = gen.Pick(2) ? 0 : 1 + gen.Pick(gen.Pick(2) ? 16 : 3000);
    const Outcome actual = Fast(matcher, name, content, block);
    ASSERT_EQ(actual, expected) << "seed " << seed << " case " << c << " size " << content.size()
                                << " signatures " << table.size() << " block " << block;
    infected += expected.result;
  }
  // The generator must keep both outcomes common, or the comparison proves little.
  EXPECT_GT(infected, cases / 5);
  EXPECT_GT(cases - infected, cases / 20);
}

TEST(SignatureMatcherDifferential, AgreesWithChunkLoopOnRandomCases) {
  RunDifferential(1, 1500, 6, 16 << 20);
}

TEST(SignatureMatcherDifferential, AgreesWithChunkLoopWithSparseAutomaton) {
  // A budget of one row leaves every state but the root sparse.
  RunDifferential(2, 800, 8, 1024);
}

TEST(SignatureMatcherDifferential, AgreesWithChunkLoopOnManySignatures) {
  RunDifferential(3, 60, 300, 64 * 1024);
}

// The loop's corners one by one, each checked against the oracle and against the known answer.
TEST(SignatureMatcherEdges, LoopCornersGiveTheDevicesResults) {
  std::string file100(100, 'x');
  file100[98] = 'P';
  file100[99] = 'Q';
  std::string border(2 * kChunk, 'y');
  border.replace(kChunk - 3, 6, "ABCDEF");
  const std::string exact(kChunk, 'z');
  const std::string near_full(kChunk - 10, 'n');  // + "PQ": 8 zero bytes follow in the chunk
  struct Case {
    const char* what;
    std::string content;
    std::string pattern;
    int expected;
  } cases[] = {
      {"pattern across the first chunk border", border, "ABCDEF", 1},
      {"last data bytes completed by the zeros after them", file100, std::string("PQ\0\0", 4), 1},
      {"as many zeros as the first chunk has room for", near_full + "PQ",
       std::string("PQ") + std::string(8, '\0'), 1},
      {"one zero more than the first chunk has room for", near_full + "PQ",
       std::string("PQ") + std::string(9, '\0'), 0},
      {"length 0 is no signature: a non-empty file is clean", "a", "", 0},
      {"length 0 never matches an empty file", "", "", 0},
      {"an empty file matches nothing", "", std::string(4, '\0'), 0},
      {"a file of exactly one chunk gets no zeros", exact, std::string("z\0", 2), 0},
      {"one byte less gets one zero", exact.substr(1), std::string("z\0", 2), 1},
      {"one byte more gets the carried chunk's zeros", exact + "z", std::string("z\0", 2), 1},
      {"all-zero pattern in the zeros after a short file", "abc", std::string(256, '\0'), 1},
      {"length 256 at the very end of a chunk",
       std::string(kChunk - 256, 'q') + std::string(256, 'W'), std::string(256, 'W'), 1},
  };
  for (const Case& c : cases) {
    const std::vector<SignatureRecord> table = {Record(7, kAnyFileClass, c.pattern)};
    SignatureMatcher matcher;
    ASSERT_TRUE(matcher.Build(table));
    const Outcome expected = Oracle(table, u"f.bin", Bytes(c.content));
    EXPECT_EQ(expected.result, c.expected) << c.what << " (oracle)";
    EXPECT_EQ(Fast(matcher, u"f.bin", Bytes(c.content)), expected) << c.what;
  }
}

TEST(SignatureMatcherEdges, CarriedChunkZerosDependOnPatternLength) {
  // After the first chunk each read brings 16384 - n new bytes, so the zeros after the data
  // depend on n: a file that ends exactly at a carried-chunk border gets none for that n, one
  // byte short of it gets one.
  for (const size_t n : {1u, 2u, 16u, 255u, 256u}) {
    for (const int64_t delta : {-1, 0, 1}) {
      const size_t size = kChunk + (kChunk - n) + delta;
      std::string content(size, 'r');
      content.back() = 'E';
      const std::string pattern = "E" + std::string(n - 1, '\0');
      const std::vector<SignatureRecord> table = {Record(9, kAnyFileClass, pattern)};
      SignatureMatcher matcher;
      ASSERT_TRUE(matcher.Build(table));
      const Outcome expected = Oracle(table, u"f", Bytes(content));
      // One byte short of the border leaves one zero; one byte past it nearly a chunk of them.
      const bool found = n == 1 || delta == 1 || (delta == -1 && n <= 2);
      EXPECT_EQ(expected.result, found ? 1 : 0) << "n " << n << " delta " << delta;
      EXPECT_EQ(Fast(matcher, u"f", Bytes(content)), expected) << "n " << n << " delta " << delta;
    }
  }
}

TEST(SignatureMatcherEdges, LowestSlotWinsAndIdsFollowTheLoop) {
  const std::string content = "header EVIL body WORSE tail";
  const std::vector<SignatureRecord> table = {
      Record(10, 0x1, "nothing"),          // applies to .exe only, not found
      Record(11, kAnyFileClass, "WORSE"),  // found
      Record(12, kAnyFileClass, "EVIL"),   // found, but a later slot
      Record(13, 0x10, "absent"),          // applies to .txt only
  };
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  EXPECT_EQ(Fast(matcher, u"a.exe", Bytes(content)), (Outcome{1, 11}));
  EXPECT_EQ(Fast(matcher, u"a.txt", Bytes(content)), (Outcome{1, 11}));
  // Not found anywhere: the id of the last signature tried is left behind.
  const std::string clean = "nothing to see";
  EXPECT_EQ(Fast(matcher, u"a.exe", Bytes("clean")), Oracle(table, u"a.exe", Bytes("clean")));
  EXPECT_EQ(Fast(matcher, u"a.exe", Bytes("clean")), (Outcome{0, 12}));
  EXPECT_EQ(Fast(matcher, u"a.txt", Bytes("clean")), (Outcome{0, 13}));
  (void)clean;
}

TEST(SignatureMatcherEdges, NothingAppliesLeavesIdUntouched) {
  const std::vector<SignatureRecord> table = {Record(5, 0x1, "x"), Record(6, 0, "x")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  uint32_t id = 4242;
  EXPECT_EQ(matcher.MatchBytes(u"a.txt", Bytes("x"), &id), 0);
  EXPECT_EQ(id, 4242u);
  EXPECT_EQ(matcher.MatchBytes(u"a.1234567890123456", Bytes("x"), &id), 0);
  EXPECT_EQ(id, 4242u);
  EXPECT_EQ(matcher.MatchBytes(u"a.EXE", Bytes("x"), &id), 1);
  EXPECT_EQ(id, 5u);
}

TEST(SignatureMatcherEdges, UnsoundLengthsAreLeftOut) {
  std::vector<SignatureRecord> table = {Record(1, kAnyFileClass, "a"),
                                        Record(2, kAnyFileClass, "b")};
  table[0].length = 257;
  table.push_back(Record(3, kAnyFileClass, "c"));
  table[2].length = -1;
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  EXPECT_EQ(matcher.signature_count(), 1u);
  EXPECT_EQ(Fast(matcher, u"f", Bytes("abc")), (Outcome{1, 2}));
}

// One empty record in a table once made every non-empty file it applied to infected. It is no
// signature wherever it lies: the others decide, with the ids the loop leaves without it.
TEST(SignatureMatcherEdges, EmptyRecordIsNeverASignature) {
  const std::vector<SignatureRecord> table = {Record(1, kAnyFileClass, ""), Record(2, 0x1, "EVIL"),
                                              Record(3, kAnyFileClass, ""), Record(4, 0x10, "BAD"),
                                              Record(5, 0x10, "")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  EXPECT_EQ(matcher.signature_count(), 2u);
  const struct {
    std::u16string_view name;
    std::string_view content;
    Outcome expected;
  } kCases[] = {
      {u"thesis.txt", "a clean thesis", {0, 4}},
      {u"photo.jpg", "\xFF\xD8 a clean photo", {0, 1234}},  // nothing applies: id untouched
      {u"tool.exe", "MZ EVIL", {1, 2}},
      {u"notes.txt", "it is BAD", {1, 4}},
  };
  for (const auto& c : kCases) {
    uint32_t id = 1234;
    const int result = matcher.MatchBytes(c.name, Bytes(c.content), &id);
    EXPECT_EQ((Outcome{result, id}), c.expected) << c.content;
    uint32_t oracle_id = 1234;
    const int oracle = testing::OracleMatch(table, c.name, Bytes(c.content), &oracle_id);
    EXPECT_EQ((Outcome{oracle, oracle_id}), c.expected) << c.content << " (oracle)";
  }
}

// Through the platform layer: the same decisions from files, read once in large blocks.
class SignatureMatcherFiles : public ::testing::Test {
 protected:
  void SetUp() override { device_.MakeFolder(u"\\Scan"); }
  void Put(std::u16string_view name, std::string_view content) {
    device_.WriteFile(std::u16string(u"\\Scan\\") + std::u16string(name), content);
  }
  Outcome MatchFile(const SignatureMatcher& matcher, std::u16string_view name,
                    const MatchControl& control = {nullptr, false}, MatchStats* stats = nullptr) {
    uint32_t id = 0;
    const int result = matcher.MatchFile(u"\\Scan", name, u"\\Program Files\\Kolvar\\KVVirusDB.dat",
                                         control, &scratch_, &id, stats);
    return {result, id};
  }
  testing::TestDevice device_;
  MatchScratch scratch_;
};

TEST_F(SignatureMatcherFiles, AgreesWithChunkLoopAcrossReadBlocks) {
  // Sizes around the matcher's own 256 KiB reads, patterns across those borders.
  CaseGenerator gen(4);
  for (int c = 0; c < 40; ++c) {
    const size_t size = 16 * kChunk * (1 + gen.Pick(2)) + gen.Pick(601) - 300;
    std::vector<uint8_t> content = gen.Content(size);
    std::vector<SignatureRecord> table;
    for (int s = 0; s < 4; ++s) {
      const size_t length = gen.Length();
      std::string pattern(length, '\0');
      const size_t start = 16 * kChunk - gen.Pick(length + 1);
      for (size_t k = 0; k < length; ++k) {
        pattern[k] = start + k < size ? static_cast<char>(content[start + k]) : '\0';
      }
      if (gen.Pick(3) == 0) pattern = gen.Pattern(content, length);
      table.push_back(Record(100 + s, gen.Mask(), pattern));
    }
    table.push_back(Record(199, kAnyFileClass, "\x01\x02\x03\x04 absent"));  // always read
    SignatureMatcher matcher;
    ASSERT_TRUE(matcher.Build(table));
    // The name a host file of that name is listed under: its wildcards are no wildcards.
    const std::u16string name = platform::DeviceNameFromHost(platform::Utf16ToUtf8(gen.Name()));
    Put(name, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    MatchStats stats;
    const Outcome actual = MatchFile(matcher, name, {nullptr, false}, &stats);
    EXPECT_EQ(actual, Oracle(table, name, content)) << "case " << c;
    if (stats.status == MatchStatus::kClean && name != u"x.1234567890123456") {
      EXPECT_EQ(stats.bytes_read, size);
      EXPECT_EQ(stats.chunks_read, (size + kChunk - 1) / kChunk);
    }
  }
}

TEST_F(SignatureMatcherFiles, DatabaseFileAndMissingFileAreNotTested) {
  const std::vector<SignatureRecord> table = {Record(3, kAnyFileClass, "y"),
                                              Record(4, kAnyFileClass, "x")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  device_.MakeFolder(u"\\Program Files\\Kolvar");
  device_.WriteFile(u"\\Program Files\\Kolvar\\KVVirusDB.dat", "x");
  uint32_t id = 0;
  MatchStats stats;
  EXPECT_EQ(matcher.MatchFile(u"\\Program Files\\Kolvar\\", u"KVVirusDB.dat",
                              u"\\Program Files\\Kolvar\\KVVirusDB.dat", {nullptr, false},
                              &scratch_, &id, &stats),
            0);
  EXPECT_EQ(stats.status, MatchStatus::kNotTested);
  EXPECT_EQ(id, 0u);
  // The comparison is exact: another case of the same name is tested.
  device_.WriteFile(u"\\Program Files\\Kolvar\\kvvirusdb.dat", "x");
  EXPECT_EQ(matcher.MatchFile(u"\\Program Files\\Kolvar", u"kvvirusdb.dat",
                              u"\\Program Files\\Kolvar\\KVVirusDB.dat", {nullptr, false},
                              &scratch_, &id, &stats),
            1);
  // A file that cannot be opened stops the whole test with the first applying id.
  EXPECT_EQ(MatchFile(matcher, u"missing.exe", {nullptr, false}, &stats), (Outcome{0, 3}));
  EXPECT_EQ(stats.status, MatchStatus::kOpenFailed);
}

TEST_F(SignatureMatcherFiles, PacingReadsChunkByChunkWithTheSameResult) {
  std::string content(5 * kChunk + 10, 'p');
  content.replace(3 * kChunk - 2, 4, "VIRU");
  Put(u"paced.exe", content);
  const std::vector<SignatureRecord> table = {Record(8, 0x1, "VIRU")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  MatchStats stats;
  EXPECT_EQ(MatchFile(matcher, u"paced.exe", {nullptr, true}, &stats), (Outcome{1, 8}));
  // Read chunk by chunk, the match ends the reading in the chunk that completes it.
  EXPECT_EQ(stats.chunks_read, 4u);
  EXPECT_EQ(stats.bytes_read, 4 * kChunk);
  EXPECT_EQ(MatchFile(matcher, u"paced.exe", {nullptr, false}, &stats), (Outcome{1, 8}));
}

TEST_F(SignatureMatcherFiles, StopRequestEndsTheTestBeforeTheNextRead) {
  Put(u"big.exe", std::string(4 * kChunk, 's'));
  const std::vector<SignatureRecord> table = {Record(21, kAnyFileClass, "never")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  platform::StopGate gate;
  gate.RequestStop();
  MatchStats stats;
  EXPECT_EQ(MatchFile(matcher, u"big.exe", {&gate, false}, &stats), (Outcome{0, 21}));
  EXPECT_EQ(stats.status, MatchStatus::kStopped);
  EXPECT_EQ(stats.chunks_read, 0u);
}

TEST_F(SignatureMatcherFiles, PauseParksTheMatcherBetweenChunks) {
  Put(u"slow.exe", std::string(8 * kChunk, 's'));
  const std::vector<SignatureRecord> table = {Record(22, kAnyFileClass, "never")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  platform::StopGate gate;
  MatchStats stats;
  Outcome outcome{};
  // Paced reads take 15 ms every second chunk, so the pause lands while the file is being read.
  std::thread worker([&] {
    outcome = MatchFile(matcher, u"slow.exe", {&gate, true}, &stats);
    gate.EndUnit();  // as the walker ends its unit after each file
  });
  platform::Sleep(20);
  gate.Pause();
  const uint64_t parked_at = stats.chunks_read;  // no further read while paused
  platform::Sleep(100);
  EXPECT_EQ(stats.chunks_read, parked_at);
  gate.RequestStop();
  gate.Resume();
  worker.join();
  EXPECT_EQ(outcome, (Outcome{0, 22}));
  EXPECT_EQ(stats.status, MatchStatus::kStopped);
  EXPECT_LT(stats.chunks_read, 8u);
}

TEST_F(SignatureMatcherFiles, ConcurrentCallsOnOneMatcherAgree) {
  std::string infected(3 * kChunk, 'c');
  infected.replace(kChunk - 1, 3, "BAD");
  Put(u"infected.exe", infected);
  Put(u"clean.exe", std::string(3 * kChunk, 'c'));
  const std::vector<SignatureRecord> table = {Record(31, kAnyFileClass, "BAD"),
                                              Record(32, kAnyFileClass, "GONE")};
  SignatureMatcher matcher;
  ASSERT_TRUE(matcher.Build(table));
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      MatchScratch scratch;
      for (int i = 0; i < 50; ++i) {
        uint32_t id = 0;
        const bool bad = i % 2 == 0;
        const int result = matcher.MatchFile(u"\\Scan", bad ? u"infected.exe" : u"clean.exe",
                                             u"\\db", {nullptr, false}, &scratch, &id);
        if (result != (bad ? 1 : 0) || id != (bad ? 31u : 32u)) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kolvar
