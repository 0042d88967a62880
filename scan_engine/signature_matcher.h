// The signature matcher: decides whether one file is infected and by which signature. The result
// and virus id are exactly those of the device's loop (each applying signature in slot order,
// the file read again in 16 KiB chunks with the last bytes carried over, the windows of the last
// chunk running on into the zero bytes after the data; a record of length 0, which that loop found
// in every non-empty file, is no signature), but the file is read once, whatever the
// number of signatures: all patterns are sought together in one pass and the lowest matching slot
// wins. A built matcher is immutable; concurrent MatchFile calls are safe, each with its own
// MatchScratch.
#ifndef KOLVAR_SCAN_ENGINE_SIGNATURE_MATCHER_H_
#define KOLVAR_SCAN_ENGINE_SIGNATURE_MATCHER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "scan_engine/signature_database.h"

namespace kolvar::platform {
class StopGate;
}

namespace kolvar {

// The device's chunk: the unit of reading, of the pacing and of the chunk count.
inline constexpr size_t kMatchChunkSize = 16384;
// With pacing on, the matcher sleeps this long before every second chunk it reads.
inline constexpr uint32_t kMatchPacingSleepMs = 15;

struct MatchControl {
  // Tested (Checkpoint) before every read: parks the caller while paused; a stop ends the test at
  // once with result 0. Null: never stops.
  platform::StopGate* gate = nullptr;
  // The device's pacing: one chunk per read and a 15 ms sleep before every second chunk read
  // (the chunk counter runs over the whole call). Off: large reads, no sleeps.
  bool pacing = true;
};

enum class MatchStatus {
  kClean,       // tested, no signature matched (or none applied)
  kInfected,    // a signature matched; the virus id is its id
  kNotTested,   // extension longer than 15 characters, or the database file itself
  kOpenFailed,  // the file could not be opened: counted clean, as on the device
  kStopped,     // the gate asked to stop while the file was being read
  kReadFailed,  // a read failed midway; what was read was searched, no match in it
};

struct MatchStats {
  MatchStatus status = MatchStatus::kClean;
  // Chunks actually read: the 16 KiB pieces of file data the matcher read, ceil(bytes / 16384).
  // A read that finds the end of the file delivers no chunk. The file is read at most once, so
  // this is ceil(size / 16384) for a file read to its end (less when a stop cut it short).
  uint64_t chunks_read = 0;
  uint64_t bytes_read = 0;
};

// Per-thread working memory of MatchFile (the read buffer). Reused across calls; never shared by
// two threads at once.
class MatchScratch {
 public:
  MatchScratch();
  ~MatchScratch();
  MatchScratch(const MatchScratch&) = delete;
  MatchScratch& operator=(const MatchScratch&) = delete;
  uint8_t* buffer() { return buffer_.get(); }

 private:
  std::unique_ptr<uint8_t[]> buffer_;
};

struct MatcherOptions {
  // Bytes of full 256-entry automaton rows (the shallow states); deeper states are sparse. More
  // is faster on data that often runs partway into patterns, at that cost in memory.
  size_t dense_bytes = 16 << 20;
};

class SignatureMatcher {
 public:
  SignatureMatcher();
  ~SignatureMatcher();
  SignatureMatcher(SignatureMatcher&&) noexcept;
  SignatureMatcher& operator=(SignatureMatcher&&) noexcept;

  // Compiles the records, in slot order (the loaded table's records()). A record whose length
  // lies outside 1..256 is left out, as the load leaves it out: an empty pattern is no signature.
  // False (the matcher unchanged) when the patterns need more than PatternAutomaton::kMaxNodes
  // states. A new matcher matches nothing.
  bool Build(std::span<const SignatureRecord> records, const MatcherOptions& options = {});

  size_t signature_count() const;
  // Bytes held by the compiled form (for the memory budget).
  size_t memory_bytes() const;

  // The engine's test of one file: path = folder + "\" (unless the folder ends in one) + name.
  // Result 1 when a signature matched, else 0. *virus_id is written as the device's loop writes
  // it: the id of every applying signature it tries, so after 1 the matching id; after 0 the id
  // of the last applying signature tried (of the first one when the file cannot be opened or the
  // test was stopped), and untouched when none applied or the file was not tested. Callers pass
  // only files with a non-zero size.
  int MatchFile(std::u16string_view folder, std::u16string_view file_name,
                std::u16string_view database_path, const MatchControl& control,
                MatchScratch* scratch, uint32_t* virus_id, MatchStats* stats = nullptr) const;

  // The same decision for a file named `file_name` whose content is `content` (no reading, no
  // database-path test, no pacing). Results and virus ids as MatchFile. The content is searched
  // in pieces of `block_size` bytes as reads would deliver them (0: in one piece).
  int MatchBytes(std::u16string_view file_name, std::span<const uint8_t> content,
                 uint32_t* virus_id, size_t block_size = 0) const;

  struct Compiled;  // the compiled form, private to the implementation

 private:
  std::unique_ptr<const Compiled> compiled_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SIGNATURE_MATCHER_H_
