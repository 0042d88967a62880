// The records of the scan channel between the main program and the background scanner: the
// command the main program sends ("IPC_SCAN"), the status and the detection the scanner sends back
// ("ANTIVIRUS"), the message types and the action values. One definition serves writer and reader;
// the layouts are fixed byte for byte, little-endian, strings UTF-16LE in zero-filled fields.
#ifndef KOLVAR_SCAN_ENGINE_SCAN_RECORDS_H_
#define KOLVAR_SCAN_ENGINE_SCAN_RECORDS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kolvar {

static_assert(std::endian::native == std::endian::little,
              "records are copied to and from files and messages as they lie in memory");

// Message types. A ScanCommand carries its type at offset 0, a ScanStatus at offset 1060.
inline constexpr uint32_t kMessageProgress = 2;        // ScanStatus, scanner -> main
inline constexpr uint32_t kMessageScanComplete = 3;    // ScanStatus, scanner -> main
inline constexpr uint32_t kCommandPause = 8;           // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandStart = 16;          // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandStop = 17;           // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandResume = 18;         // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandQuit = 19;           // ScanCommand, to the scanner
inline constexpr uint32_t kCommandSetAction = 20;      // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandAttach = 21;         // ScanCommand, main -> scanner
inline constexpr uint32_t kCommandAttachReply = 22;    // ScanCommand, scanner -> main
inline constexpr uint32_t kCommandDetach = 23;         // ScanCommand, main -> scanner
inline constexpr uint32_t kMessagePassFinished = 24;   // ScanStatus, scanner -> main
inline constexpr uint32_t kMessageVirusDetected = 25;  // ScanStatus; a DetectionRecord follows

// Actions chosen for an infected file (the action byte of a type 20 command and of an
// InfectionRecord). 3 and 4 are remembered for the virus id.
inline constexpr uint8_t kActionNone = 0;
inline constexpr uint8_t kActionDelete = 1;
inline constexpr uint8_t kActionMove = 2;
inline constexpr uint8_t kActionMoveAll = 3;
inline constexpr uint8_t kActionIgnoreAll = 4;

// Characters of a path field, the terminator included (520 bytes).
inline constexpr size_t kPathFieldChars = 260;

// Main program -> scanner (type 22 the other way).
// Layout: docs/formats.md#scan-messages
struct ScanCommand {
  uint32_t type;
  uint32_t virus_id;  // type 20
  uint8_t action;     // type 20; the main program writes it as a 32-bit value, bytes 9-11 zero
  uint8_t zero;
  char16_t folder[261];  // type 21: folder to scan, at most 260 characters with the terminator
};
static_assert(sizeof(ScanCommand) == 532);
static_assert(offsetof(ScanCommand, type) == 0);
static_assert(offsetof(ScanCommand, virus_id) == 4);
static_assert(offsetof(ScanCommand, action) == 8);
static_assert(offsetof(ScanCommand, zero) == 9);
static_assert(offsetof(ScanCommand, folder) == 10);

// Scanner -> main program.
// Layout: docs/formats.md#scan-messages
struct ScanStatus {
  uint32_t folders_entered;
  uint32_t files_tested;
  uint32_t infected_files;
  uint32_t kilobytes_tested;
  char16_t current_item[kPathFieldChars];    // file name, empty when a folder was entered
  char16_t current_folder[kPathFieldChars];  //
  uint32_t state;  // 1 in progress messages; the active flag in types 3 and 24
  uint32_t type;
};
static_assert(sizeof(ScanStatus) == 1064);
static_assert(offsetof(ScanStatus, folders_entered) == 0);
static_assert(offsetof(ScanStatus, files_tested) == 4);
static_assert(offsetof(ScanStatus, infected_files) == 8);
static_assert(offsetof(ScanStatus, kilobytes_tested) == 12);
static_assert(offsetof(ScanStatus, current_item) == 16);
static_assert(offsetof(ScanStatus, current_folder) == 536);
static_assert(offsetof(ScanStatus, state) == 1056);
static_assert(offsetof(ScanStatus, type) == 1060);

// Scanner -> main program, after a status of type 25.
// Layout: docs/formats.md#scan-messages
struct DetectionRecord {
  char16_t path[kPathFieldChars];  // full path of the infected file
  uint32_t virus_id;
};
static_assert(sizeof(DetectionRecord) == 524);
static_assert(offsetof(DetectionRecord, path) == 0);
static_assert(offsetof(DetectionRecord, virus_id) == 520);

// Zero-filled records, as every sender starts them.
template <typename Record>
Record ZeroRecord() {
  Record record;
  std::memset(&record, 0, sizeof(record));
  return record;
}

// Copies `text` into a fixed wide field, cut to leave room for the terminator, and zero-fills the
// rest. Returns false when the text was cut.
template <size_t N>
bool SetWideField(char16_t (&field)[N], std::u16string_view text) {
  const size_t length = text.size() < N ? text.size() : N - 1;
  std::memset(field, 0, sizeof(field));
  if (length > 0) std::memcpy(field, text.data(), length * sizeof(char16_t));
  return length == text.size();
}

// The text of a fixed wide field: up to its first NUL, or the whole field when it has none.
template <size_t N>
std::u16string_view WideField(const char16_t (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length] != u'\0') ++length;
  return std::u16string_view(field, length);
}

// True when the field holds a terminator, i.e. it was written whole by SetWideField.
template <size_t N>
bool WideFieldTerminated(const char16_t (&field)[N]) {
  return WideField(field).size() < N;
}

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SCAN_RECORDS_H_
