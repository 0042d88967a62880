// The infected files of a scan pass: the InfectionRecord (one layout in memory and in the result
// file "inffile.lst"), the engine's infection list, the actions remembered per virus, and the
// writer and reader of the result file.
//
// A record holds a folder and a file name of at most 127 characters each, while a device path may
// hold 259. The list therefore keeps each whole folder and name beside its record, and the scanner
// acts on those; a record whose field had to be cut is marked in its reserved bytes, and every
// reader of the result file refuses to act on a marked record, so a cut path can never lead an
// action to another file.
#ifndef KOLVAR_SCAN_ENGINE_INFECTION_LIST_H_
#define KOLVAR_SCAN_ENGINE_INFECTION_LIST_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/message_text.h"

namespace kolvar {

inline constexpr size_t kInfectionFieldChars = 128;  // 127 characters and the terminator

// Bits of InfectionRecord::cut: which field lost characters. 0 in every whole record.
inline constexpr uint8_t kCutFolder = 0x01;
inline constexpr uint8_t kCutFileName = 0x02;

// One record of the result file (after its 4-byte count) and of the infection list.
// Layout: docs/formats.md#result-file
struct InfectionRecord {
  uint32_t sequence;  // records the list held when this one was appended
  char16_t folder[kInfectionFieldChars];
  char16_t file_name[kInfectionFieldChars];
  uint32_t value;  // always 0
  uint32_t virus_id;
  uint8_t action;  // kAction* of scan_records.h
  uint8_t done;    // 1 once the action has been carried out
  uint8_t cut;     // first reserved byte: kCutFolder | kCutFileName
  uint8_t reserved;
  uint32_t next_link;      // memory links of the device's list; always 0 here
  uint32_t previous_link;  //
};
static_assert(sizeof(InfectionRecord) == 536);
static_assert(offsetof(InfectionRecord, sequence) == 0);
static_assert(offsetof(InfectionRecord, folder) == 4);
static_assert(offsetof(InfectionRecord, file_name) == 260);
static_assert(offsetof(InfectionRecord, value) == 516);
static_assert(offsetof(InfectionRecord, virus_id) == 520);
static_assert(offsetof(InfectionRecord, action) == 524);
static_assert(offsetof(InfectionRecord, done) == 525);
static_assert(offsetof(InfectionRecord, cut) == 526);
static_assert(offsetof(InfectionRecord, reserved) == 527);
static_assert(offsetof(InfectionRecord, next_link) == 528);
static_assert(offsetof(InfectionRecord, previous_link) == 532);

// Told to the user when a record read from a result file cannot name its file (error icon); the
// placeholder takes the path as the record holds it.
inline constexpr char16_t kPathCutMessage[] =
    u"The path of the file '%s...' is too long for the scan results.\n"
    u"No action was taken on it; please see to the file yourself.";

// The whole path of a record read from a result file, or false when the record is marked cut or
// a field lacks its terminator (a damaged file): such a record must not be acted on.
bool InfectionRecordPath(const InfectionRecord& record, std::u16string* full_path);
// The same for a reader about to act on the record: a refusal is told to the user.
bool InfectionRecordPathToActOn(const InfectionRecord& record, const UserNotice& notice,
                                std::u16string* full_path);
// The folder and file name as stored, for showing a record (possibly cut).
std::u16string InfectionRecordShownPath(const InfectionRecord& record);

// One detection of the pass: the record as the result file gets it, and the whole folder and
// name, from which the scanner's own actions form their paths.
struct Infection {
  InfectionRecord record;
  std::u16string folder;
  std::u16string file_name;
  // The user's answer to this detection has come, whatever it was: an answer that set no action
  // (the file is left alone this time) must not leave the record open for the next answer about
  // another file of the same virus.
  bool answered = false;

  std::u16string FullPath() const;
};

// The engine's infection list: appended at the end, emptied as a whole. Not synchronised; the
// engine guards it.
class InfectionList {
 public:
  // AppendInfection: sequence number = current count, done 0, fields cut (and marked) as needed.
  Infection& Append(std::u16string_view folder, std::u16string_view file_name, uint32_t value,
                    uint32_t virus_id, uint8_t action);
  void Clear();  // ClearInfections
  uint32_t Count() const { return static_cast<uint32_t>(items_.size()); }
  bool empty() const { return items_.empty(); }

  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  Infection& operator[](size_t index) { return items_[index]; }
  const Infection& operator[](size_t index) const { return items_[index]; }

 private:
  std::deque<Infection> items_;  // references stay valid while appending
};

// Actions remembered per virus id (move all, ignore all) for the life of the scanner process.
class RememberedActions {
 public:
  void Remember(uint32_t virus_id, uint8_t action);
  // The action of the first entry with that id; kActionNone when there is none.
  uint8_t Lookup(uint32_t virus_id) const;
  size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<uint32_t, uint8_t>> entries_;
};

// SetAction: answers the oldest record of `virus_id` that has no action and no answer yet: it gets
// `action` and counts as answered. Delete and move are set on that record only; move all and
// ignore all are also remembered for the virus. Any other value sets and remembers nothing, but
// the record is answered all the same. Returns whether an action was set.
bool SetInfectionAction(InfectionList& list, RememberedActions& remembered, uint32_t virus_id,
                        uint8_t action);

// The result file's path: the device's temporary folder followed by "inffile.lst".
bool InfectionFilePath(std::u16string* path);

// Writes the count and every record, in list order, to `path`: written beside and renamed over,
// so that a reader never sees half a file. False with the last error set on failure.
bool WriteInfectionRecords(const InfectionList& list, std::u16string_view path);

struct InfectionFile {
  uint32_t declared_count = 0;           // the count at the start of the file
  std::vector<InfectionRecord> records;  // the records read in full, at most declared_count
  bool damaged = false;  // short, longer than its count, or a record with an unusable field
};

// Reads a result file: the count, then whole records. A short or damaged file still yields the
// records read in full; records whose fields lack a terminator come back marked cut. False with
// the last error set when the file cannot be opened or holds not even the count.
bool ReadInfectionFile(std::u16string_view path, InfectionFile* contents);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_INFECTION_LIST_H_
