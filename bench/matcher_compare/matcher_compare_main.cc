// matcher_compare: the scan engine's SignatureMatcher beside a Vectorscan (Hyperscan) database
// compiled from the same signatures, over the files of a folder, one thread, with the verdicts
// compared file by file.
//
//   matcher_compare [--repeat N] --db KVVirusDB.dat FOLDER
//       Walks FOLDER once, then runs each row over the list (N times, the fastest kept) and prints
//       one line per row: the row's name, seconds, MB/s, files reported infected and the files
//       whose verdict (result and virus id) differs from the engine's own row.
//   matcher_compare --check [FILES]
//       The exactness check: small random signature tables (short patterns, zero bytes, patterns
//       ending in zeros, repeated patterns, type masks) and files around the 16 KiB chunk borders,
//       each decided by the literal chunk loop, the engine's matcher and both Vectorscan forms.
//       Exit 1 on the first difference.
//
// Vectorscan knows nothing of the engine's rules, so its matches are only candidates: every
// distinct pattern is compiled as one literal reporting every end offset, the winner is the lowest
// slot among the reported patterns whose type mask applies to the file's class, and the windows of
// the device's last chunk that run on into the zero bytes after the data are sought by scanning on
// over 256 zeros and keeping a match there only when it ends within that chunk's zeros
// (TrailingZeros below). A scan ends early once the lowest applying slot has matched, as the
// engine's does. A benchmark tool: it calls POSIX directly.
#include <fcntl.h>
#include <ftw.h>
#include <hs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/chunk_loop_oracle.h"
#include "scan_engine/file_type_classes.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/signature_matcher.h"

namespace kolvar {
namespace {

constexpr uint32_t kNoSlot = 0xFFFFFFFF;
constexpr size_t kClassCount = 11;                  // 0: no class; 1..10 the class rows
constexpr size_t kReadSize = 16 * kMatchChunkSize;  // the engine's read size with pacing off
constexpr size_t kMaxPattern = kSignaturePatternCapacity;

size_t ClassIndex(uint32_t class_bit) {
  for (size_t row = 0; row + 1 < kClassCount; ++row) {
    if (kFileTypeClasses[row].class_bit == class_bit) return row + 1;
  }
  return 0;
}

uint32_t ClassBitOfIndex(size_t index) {
  return index == 0 ? 0 : kFileTypeClasses[index - 1].class_bit;
}

// Zero bytes that follow the data in the last 16 KiB chunk the device's loop searches for a
// pattern of `length` bytes in a file of `size` bytes.
uint64_t TrailingZeros(uint64_t size, uint64_t length) {
  if (size < kMatchChunkSize) return kMatchChunkSize - size;
  const uint64_t carried_read = kMatchChunkSize - length;
  const uint64_t last = (size - kMatchChunkSize) % carried_read;
  return last == 0 ? 0 : carried_read - last;
}

struct Verdict {
  int result = 0;
  uint32_t id = 0;
  bool operator==(const Verdict&) const = default;
};

// The signatures as one Vectorscan database per mode, and the engine's rules applied to what it
// reports.
class VectorscanMatcher {
 public:
  VectorscanMatcher() = default;
  ~VectorscanMatcher() {
    hs_free_scratch(scratch_);
    hs_free_database(block_db_);
    hs_free_database(stream_db_);
  }
  VectorscanMatcher(const VectorscanMatcher&) = delete;
  VectorscanMatcher& operator=(const VectorscanMatcher&) = delete;

  bool Build(std::span<const SignatureRecord> records, std::string* error) {
    std::vector<std::string> patterns;
    std::vector<std::vector<uint32_t>> slots_of_pattern;
    std::unordered_map<std::string, uint32_t> pattern_ids;
    for (const SignatureRecord& record : records) {
      if (record.length <= 0 || record.length > static_cast<int32_t>(kMaxPattern)) continue;
      const auto slot = static_cast<uint32_t>(virus_ids_.size());
      virus_ids_.push_back(record.virus_id);
      type_masks_.push_back(record.type_mask);
      for (size_t index = 0; index < kClassCount; ++index) {
        if (!SignatureApplies(record.type_mask, ClassBitOfIndex(index))) continue;
        if (plans_[index].first == kNoSlot) plans_[index].first = slot;
        plans_[index].last = slot;
      }
      std::string key(reinterpret_cast<const char*>(record.pattern),
                      static_cast<size_t>(record.length));
      auto [it, inserted] = pattern_ids.try_emplace(key, static_cast<uint32_t>(patterns.size()));
      if (inserted) {
        patterns.push_back(std::move(key));
        slots_of_pattern.emplace_back();
        lengths_.push_back(static_cast<uint32_t>(record.length));
      }
      slots_of_pattern[it->second].push_back(slot);
    }
    for (const auto& slots : slots_of_pattern) {
      slot_begin_.push_back(static_cast<uint32_t>(slots_.size()));
      slots_.insert(slots_.end(), slots.begin(), slots.end());
    }
    slot_begin_.push_back(static_cast<uint32_t>(slots_.size()));
    if (patterns.empty()) return true;  // nothing to seek: every file is clean

    // HS_FLAG_SINGLEMATCH is not used: with it, Vectorscan 5.4.9 (Debian 12) misses a one-byte
    // expression that matches only at the last byte of a block ("\\x02" over "...\x01\x00\x03\x02"
    // reports nothing; without the flag, or through the literal API, it reports offset 218). The
    // matches are rare, so reporting all of them costs nothing measurable.
    // The literal API refuses a pattern whose first byte is zero (it reads it as an empty
    // string), so a table holding one is compiled as expressions of escaped bytes instead.
    literal_api_ = std::none_of(patterns.begin(), patterns.end(),
                                [](const std::string& p) { return p[0] == 0; });
    std::vector<std::string> escaped;
    if (!literal_api_) {
      for (const std::string& p : patterns) {
        std::string e;
        for (const char c : p) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
          e += hex;
        }
        escaped.push_back(std::move(e));
      }
    }
    std::vector<const char*> expressions;
    std::vector<size_t> lens;
    std::vector<unsigned> flags, ids;
    for (size_t i = 0; i < patterns.size(); ++i) {
      expressions.push_back(literal_api_ ? patterns[i].data() : escaped[i].c_str());
      lens.push_back(patterns[i].size());
      flags.push_back(0);  // every match reported: see the note on HS_FLAG_SINGLEMATCH above
      ids.push_back(static_cast<unsigned>(i));
    }
    for (auto [mode, db] :
         {std::pair{HS_MODE_BLOCK, &block_db_}, std::pair{HS_MODE_STREAM, &stream_db_}}) {
      hs_compile_error_t* compile_error = nullptr;
      const auto count = static_cast<unsigned>(patterns.size());
      const hs_error_t compiled =
          literal_api_ ? hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(),
                                              lens.data(), count, mode, nullptr, db, &compile_error)
                       : hs_compile_multi(expressions.data(), flags.data(), ids.data(), count, mode,
                                          nullptr, db, &compile_error);
      if (compiled != HS_SUCCESS) {
        *error = compile_error ? compile_error->message : "compile failed";
        hs_free_compile_error(compile_error);
        return false;
      }
      if (hs_alloc_scratch(*db, &scratch_) != HS_SUCCESS) {
        *error = "cannot allocate scratch";
        return false;
      }
    }
    return true;
  }

  bool literal_api() const { return literal_api_; }
  size_t database_bytes() const {
    size_t block = 0, stream = 0;
    if (block_db_) hs_database_size(block_db_, &block);
    if (stream_db_) hs_database_size(stream_db_, &stream);
    return block + stream;
  }

  // Block mode over the whole content.
  Verdict MatchBlock(std::u16string_view name, std::span<const uint8_t> content) const {
    Verdict verdict;
    Session session;
    if (!Begin(name, &session)) return verdict;
    session.size = content.size();
    if (block_db_ && !content.empty()) {
      if (hs_scan(block_db_, reinterpret_cast<const char*>(content.data()),
                  static_cast<unsigned>(content.size()), 0, scratch_, &OnMatch,
                  &session) == HS_SUCCESS) {
        // The windows that run on into the zeros after the data start in its last 255 bytes.
        std::array<uint8_t, 2 * kMaxPattern> tail{};
        const size_t kept = std::min(content.size(), kMaxPattern - 1);
        std::memcpy(tail.data(), content.data() + content.size() - kept, kept);
        session.base = content.size() - kept;
        hs_scan(block_db_, reinterpret_cast<const char*>(tail.data()),
                static_cast<unsigned>(kept + kMaxPattern), 0, scratch_, &OnMatch, &session);
      }
    }
    return End(session);
  }

  // Stream mode over a file read with `buffer` (kReadSize bytes), as the engine reads it: open,
  // sequential advice, large reads, stop reading once decided. A file that cannot be opened is
  // result 0 with the first applying id, as the engine reports it.
  Verdict MatchStream(const char* host_path, std::u16string_view name, uint8_t* buffer) const {
    Session session;
    if (!Begin(name, &session)) return {};
    const int fd = open(host_path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {0, virus_ids_[session.plan->first]};
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Stream(&session, [&](std::span<const uint8_t>* piece) {
      const ssize_t got = read(fd, buffer, kReadSize);
      if (got > 0) *piece = {buffer, static_cast<size_t>(got)};
      return got;
    });
    close(fd);
    return End(session);
  }

  // The same over content in memory, delivered in pieces of `piece_size` bytes (for the check).
  Verdict MatchStreamBytes(std::u16string_view name, std::span<const uint8_t> content,
                           size_t piece_size) const {
    Session session;
    if (!Begin(name, &session)) return {};
    size_t at = 0;
    Stream(&session, [&](std::span<const uint8_t>* piece) {
      *piece = content.subspan(at, std::min(piece_size, content.size() - at));
      at += piece->size();
      return static_cast<ssize_t>(piece->size());
    });
    return End(session);
  }

 private:
  struct Plan {
    uint32_t first = kNoSlot;
    uint32_t last = kNoSlot;
  };
  struct Session {
    const VectorscanMatcher* matcher = nullptr;
    const Plan* plan = nullptr;
    uint32_t class_bit = 0;
    uint32_t best = kNoSlot;
    uint64_t size = 0;  // file bytes scanned; the data ends here
    uint64_t base = 0;  // file offset of the scanned buffer's first byte (block mode's tail)
    bool Decided() const { return best == plan->first; }
  };

  // False when the file is not tested (extension too long) or no signature applies to its class:
  // the engine leaves the id untouched then and does not open the file.
  bool Begin(std::u16string_view name, Session* session) const {
    std::string extension;
    if (!FileExtension(name, &extension)) return false;  // not tested
    const size_t class_index = ClassIndex(FileTypeClassOf(extension));
    session->matcher = this;
    session->plan = &plans_[class_index];
    session->class_bit = ClassBitOfIndex(class_index);
    return session->plan->first != kNoSlot;  // nothing applies: not opened
  }

  // Feeds a file's pieces to one stream until `next` (which fills in a piece and returns its
  // size, 0 at the end, -1 on a read error) runs out or the winner is decided, then the zeros.
  // Begin has found an applying signature, so the stream database exists.
  template <typename Next>
  void Stream(Session* session, Next&& next) const {
    hs_stream_t* stream = nullptr;
    if (hs_open_stream(stream_db_, 0, &stream) != HS_SUCCESS) return;
    bool reached_end = false;
    for (;;) {
      std::span<const uint8_t> piece;
      const ssize_t got = next(&piece);
      if (got <= 0) {
        reached_end = got == 0;
        break;
      }
      session->size += piece.size();
      if (hs_scan_stream(stream, reinterpret_cast<const char*>(piece.data()),
                         static_cast<unsigned>(piece.size()), 0, scratch_, &OnMatch,
                         session) != HS_SUCCESS) {
        break;  // decided
      }
    }
    // A read that failed leaves the zeros out, as the device's loop searches them only after the
    // end of the file.
    if (reached_end && session->size != 0 && !session->Decided()) {
      static constexpr char kZeros[kMaxPattern] = {};
      hs_scan_stream(stream, kZeros, kMaxPattern, 0, scratch_, &OnMatch, session);
    }
    hs_close_stream(stream, scratch_, nullptr, nullptr);
  }

  Verdict End(const Session& session) const {
    if (session.best == kNoSlot) return {0, virus_ids_[session.plan->last]};
    return {1, virus_ids_[session.best]};
  }

  static int OnMatch(unsigned id, unsigned long long /*from*/, unsigned long long to,
                     unsigned /*flags*/, void* context) {
    auto& s = *static_cast<Session*>(context);
    const VectorscanMatcher& m = *s.matcher;
    const uint64_t end = s.base + to;
    // A window running into the zeros counts only within the device's last chunk (in stream
    // mode `size` is the data's end once the zeros are fed).
    if (end > s.size && end > s.size + TrailingZeros(s.size, m.lengths_[id])) return 0;
    for (uint32_t i = m.slot_begin_[id]; i < m.slot_begin_[id + 1] && m.slots_[i] < s.best; ++i) {
      if (SignatureApplies(m.type_masks_[m.slots_[i]], s.class_bit)) {
        s.best = m.slots_[i];
        break;
      }
    }
    return s.Decided() ? 1 : 0;
  }

  hs_database_t* block_db_ = nullptr;
  hs_database_t* stream_db_ = nullptr;
  hs_scratch_t* scratch_ = nullptr;  // one thread
  bool literal_api_ = true;
  std::vector<uint32_t> virus_ids_, type_masks_;  // per slot
  std::vector<uint32_t> lengths_, slot_begin_;    // per distinct pattern (+1 end)
  std::vector<uint32_t> slots_;                   // slots of each pattern, ascending
  std::array<Plan, kClassCount> plans_;
};

// ---- The benchmark over a folder ----

struct Entry {
  std::string host;
  std::u16string folder, name;  // device path, as the engine is given it
  uint64_t size = 0;
};

std::vector<Entry>* g_entries = nullptr;

int Collect(const char* path, const struct stat* info, int type, struct FTW* /*where*/) {
  if (type != FTW_F || !S_ISREG(info->st_mode) || info->st_size == 0) return 0;
  std::u16string device;
  if (!platform::DevicePathFromHost(path, &device)) return 0;
  const size_t cut = device.rfind(u'\\');
  Entry e;
  e.host = path;
  e.folder = device.substr(0, cut);
  e.name = device.substr(cut + 1);
  e.size = static_cast<uint64_t>(info->st_size);
  g_entries->push_back(std::move(e));
  return 0;
}

// Reads a whole file into `buffer` (sized for the largest file) with large reads.
size_t ReadWhole(const char* path, std::vector<uint8_t>* buffer) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  size_t size = 0;
  for (;;) {
    const size_t want = std::min(buffer->size() - size, size_t{1} << 30);
    if (want == 0) break;
    const ssize_t got = read(fd, buffer->data() + size, want);
    if (got <= 0) break;
    size += static_cast<size_t>(got);
  }
  close(fd);
  return size;
}

// Reads a file with kReadSize reads into one buffer, as the stream rows do; returns the bytes.
uint64_t ReadStream(const char* path, uint8_t* buffer) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  uint64_t total = 0;
  for (ssize_t got; (got = read(fd, buffer, kReadSize)) > 0;) total += static_cast<uint64_t>(got);
  close(fd);
  return total;
}

int Bench(const std::string& db_path, const char* folder, int repeat) {
  std::u16string db;
  if (!platform::DevicePathFromHost(db_path, &db)) {
    std::fprintf(stderr, "matcher_compare: %s: not a path below the device root\n",
                 db_path.c_str());
    return 2;
  }
  SignatureDatabase database;
  if (!database.Load(db) || !database.report().usable()) {
    std::fprintf(stderr, "matcher_compare: cannot load %s\n", db_path.c_str());
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  SignatureMatcher own;
  if (!own.Build(database.records())) {
    std::fprintf(stderr, "matcher_compare: the engine's matcher cannot be built\n");
    return 2;
  }
  const double own_build = std::chrono::duration<double>(Clock::now() - t0).count();
  t0 = Clock::now();
  VectorscanMatcher vs;
  std::string error;
  if (!vs.Build(database.records(), &error)) {
    std::fprintf(stderr, "matcher_compare: Vectorscan: %s\n", error.c_str());
    return 2;
  }
  const double vs_build = std::chrono::duration<double>(Clock::now() - t0).count();

  // The walk is done once, before any row: the rows time opening, reading and matching.
  std::vector<Entry> entries;
  g_entries = &entries;
  t0 = Clock::now();
  if (nftw(folder, Collect, 64, FTW_PHYS) != 0) {
    std::perror(folder);
    return 2;
  }
  const double walk = std::chrono::duration<double>(Clock::now() - t0).count();
  uint64_t total = 0, largest = 0;
  for (const Entry& e : entries) {
    total += e.size;
    largest = std::max(largest, e.size);
  }
  std::printf("signatures %u, files %zu, bytes %llu\n", database.count(), entries.size(),
              static_cast<unsigned long long>(total));
  std::printf("walk: %.3f s (not in the rows)\n", walk);
  std::printf("build: own %.3f s (%.1f MiB), vectorscan %.3f s (%.1f MiB, block + stream, %s)\n",
              own_build, static_cast<double>(own.memory_bytes()) / (1 << 20), vs_build,
              static_cast<double>(vs.database_bytes()) / (1 << 20),
              vs.literal_api() ? "literal API" : "escaped expressions");

  MatchScratch scratch;
  std::vector<uint8_t> stream_buffer(kReadSize);
  std::vector<uint8_t> whole(static_cast<size_t>(largest));
  std::vector<Verdict> reference;
  std::printf("%-34s %8s %9s %9s %9s\n", "row", "seconds", "MB/s", "infected", "differ");

  // Each row runs `repeat` times in a row and keeps its fastest time: the machine is shared.
  auto row = [&](const char* name, auto&& decide) {
    std::vector<Verdict> verdicts(entries.size());
    double seconds = 0;
    for (int r = 0; r < repeat; ++r) {
      const auto start = Clock::now();
      for (size_t i = 0; i < entries.size(); ++i) verdicts[i] = decide(entries[i]);
      const double t = std::chrono::duration<double>(Clock::now() - start).count();
      seconds = r == 0 ? t : std::min(seconds, t);
    }
    size_t infected = 0, differ = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      infected += verdicts[i].result == 1;
      if (!reference.empty() && !(verdicts[i] == reference[i])) {
        if (++differ <= 5) {
          std::fprintf(stderr, "  %s: %s: engine %d/%u, this row %d/%u\n", name,
                       entries[i].host.c_str(), reference[i].result, reference[i].id,
                       verdicts[i].result, verdicts[i].id);
        }
      }
    }
    std::printf("%-34s %8.3f %9.1f %9zu %9s\n", name, seconds,
                static_cast<double>(total) / seconds / 1e6, infected,
                reference.empty() ? "-" : std::to_string(differ).c_str());
    std::fflush(stdout);
    if (reference.empty()) reference = std::move(verdicts);
  };

  // The engine's own row first: it is the reference the others are compared with.
  row("own: MatchFile (engine's reads)", [&](const Entry& e) {
    Verdict v;
    v.result = own.MatchFile(e.folder, e.name, db, {nullptr, false}, &scratch, &v.id);
    return v;
  });
  row("vectorscan: stream, 256 KiB reads",
      [&](const Entry& e) { return vs.MatchStream(e.host.c_str(), e.name, stream_buffer.data()); });
  row("own: MatchBytes, whole file read", [&](const Entry& e) {
    Verdict v;
    const size_t size = ReadWhole(e.host.c_str(), &whole);
    v.result = own.MatchBytes(e.name, {whole.data(), size}, &v.id, kReadSize);
    return v;
  });
  row("vectorscan: block, whole file read", [&](const Entry& e) {
    const size_t size = ReadWhole(e.host.c_str(), &whole);
    return vs.MatchBlock(e.name, {whole.data(), size});
  });
  // What reading alone costs in each form, over the same list (no verdicts).
  auto read_row = [&](const char* name, auto&& read_one) {
    double seconds = 0;
    uint64_t read_bytes = 0;
    for (int r = 0; r < repeat; ++r) {
      read_bytes = 0;
      const auto start = Clock::now();
      for (const Entry& e : entries) read_bytes += read_one(e);
      const double t = std::chrono::duration<double>(Clock::now() - start).count();
      seconds = r == 0 ? t : std::min(seconds, t);
    }
    std::printf("%-34s %8.3f %9.1f %9s %9s\n", name, seconds,
                static_cast<double>(read_bytes) / seconds / 1e6, "-", "-");
  };
  read_row("read only: 256 KiB reads",
           [&](const Entry& e) { return ReadStream(e.host.c_str(), stream_buffer.data()); });
  read_row("read only: whole file",
           [&](const Entry& e) { return ReadWhole(e.host.c_str(), &whole); });
  return 0;
}

// ---- The exactness check against the literal chunk loop ----

int Check(int files) {
  std::mt19937 rng(13);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  static const char16_t* const kNames[] = {u"a.exe", u"b.txt", u"c",     u"d.GIF",
                                           u"e.dat", u"f.htm", u"g.bin", u"h.abcdefghijklmnopq"};
  static const uint32_t kMasks[] = {0x10000000, 0x1, 0x10, 0x100, 0x11, 0x20, 0x0, 0x200};
  int compared = 0, infected = 0;
  for (int table_round = 0; compared < files; ++table_round) {
    // A small alphabet makes matches and near-matches frequent.
    const uint32_t alphabet = 2 + pick(3);
    std::vector<SignatureRecord> table(4 + pick(28));
    for (size_t i = 0; i < table.size(); ++i) {
      SignatureRecord& r = table[i];
      r = SignatureRecord{};
      r.virus_id = 100 + static_cast<uint32_t>(i);
      r.type_mask = kMasks[pick(std::size(kMasks))];
      const uint32_t kind = pick(10);
      r.length = static_cast<int32_t>(kind < 4   ? 1 + pick(3)
                                      : kind < 8 ? 4 + pick(12)
                                      : kind < 9 ? 40 + pick(217)
                                                 : 0);
      for (int32_t k = 0; k < r.length; ++k) r.pattern[k] = static_cast<uint8_t>(pick(alphabet));
      // Some end in zeros, so they can match in the zeros after a file's data.
      if (r.length > 1 && pick(3) == 0) {
        for (int32_t k = r.length / 2; k < r.length; ++k) r.pattern[k] = 0;
      }
      if (i > 0 && pick(8) == 0) {  // a pattern repeated in a later slot
        std::memcpy(r.pattern, table[i - 1].pattern, sizeof r.pattern);
        r.length = table[i - 1].length;
      }
    }
    SignatureMatcher own;
    VectorscanMatcher vs;
    std::string error;
    if (!own.Build(table) || !vs.Build(table, &error)) {
      std::fprintf(stderr, "matcher_compare: build failed: %s\n", error.c_str());
      return 2;
    }
    for (int f = 0; f < 40 && compared < files; ++f, ++compared) {
      static const uint64_t kSizes[] = {1, 7, 100, 16383, 16384, 16385, 32768, 40000};
      uint64_t size = kSizes[pick(std::size(kSizes))];
      if (pick(2)) {  // or near it
        size = static_cast<uint64_t>(
            std::max<int64_t>(1, static_cast<int64_t>(size) + pick(600) - 300));
      }
      std::vector<uint8_t> content(size);
      // Mostly bytes outside the alphabet, with stretches inside it.
      for (auto& b : content) b = static_cast<uint8_t>(10 + pick(200));
      for (int s = 0; s < 6; ++s) {
        const uint64_t at = pick(static_cast<uint32_t>(size));
        const uint64_t length = std::min<uint64_t>(size - at, 1 + pick(300));
        const bool zeros = pick(4) == 0;
        for (uint64_t k = 0; k < length; ++k) {
          content[at + k] = zeros ? 0 : static_cast<uint8_t>(pick(alphabet));
        }
      }
      const std::u16string_view name = kNames[pick(std::size(kNames))];
      Verdict oracle, mine, block, stream;
      oracle.id = mine.id = 0;
      oracle.result = testing::OracleMatch(table, name, content, &oracle.id);
      mine.result = own.MatchBytes(name, content, &mine.id, 1 + pick(20000));
      block = vs.MatchBlock(name, content);
      stream = vs.MatchStreamBytes(name, content, 1 + pick(20000));
      // A file nothing applies to, or not tested, leaves the id untouched: compare results only.
      std::string extension;
      const bool untouched = !FileExtension(name, &extension) || oracle.id == 0;
      auto same = [&](const Verdict& v) {
        return v.result == oracle.result && (untouched || v.id == oracle.id);
      };
      if (!same(mine) || !same(block) || !same(stream)) {
        std::fprintf(stderr,
                     "difference: table %d file %d (%llu bytes): loop %d/%u, own %d/%u, "
                     "block %d/%u, stream %d/%u\n",
                     table_round, f, static_cast<unsigned long long>(size), oracle.result,
                     oracle.id, mine.result, mine.id, block.result, block.id, stream.result,
                     stream.id);
        for (const SignatureRecord& r : table) {
          std::fprintf(stderr, "  %u mask %08x length %d:", r.virus_id, r.type_mask, r.length);
          for (int32_t k = 0; k < r.length; ++k) std::fprintf(stderr, " %02x", r.pattern[k]);
          std::fprintf(stderr, "\n");
        }
        std::fprintf(stderr, "  name %s, content:", platform::Utf16ToUtf8(name).c_str());
        for (uint64_t k = 0; k < std::min<uint64_t>(size, 400); ++k) {
          std::fprintf(stderr, " %02x", content[k]);
        }
        std::fprintf(stderr, "\n");
        return 1;
      }
      infected += oracle.result;
    }
  }
  std::printf(
      "check: %d files, %d infected: the chunk loop, the engine's matcher and Vectorscan "
      "(block and stream) agree on every verdict\n",
      compared, infected);
  return 0;
}

}  // namespace
}  // namespace kolvar

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "--check") {
    return kolvar::Check(argc >= 3 ? std::atoi(argv[2]) : 20000);
  }
  int repeat = 1;
  if (argc >= 3 && std::string_view(argv[1]) == "--repeat") {
    repeat = std::max(1, std::atoi(argv[2]));
    argc -= 2;
    argv += 2;
  }
  if (argc == 4 && std::string_view(argv[1]) == "--db") {
    return kolvar::Bench(argv[2], argv[3], repeat);
  }
  std::fprintf(stderr,
               "usage: matcher_compare [--repeat N] --db KVVirusDB.dat FOLDER\n"
               "       matcher_compare --check [FILES]\n");
  return 2;
}
