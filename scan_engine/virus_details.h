// The virus detail database KVVirusDBDet.dat: 1044-byte records (virus id, name, description and
// recommendation in UTF-16LE), no header, stored as is. The main program looks names up by the
// virus id that a detection reports; kvsigtool writes the file beside the signature database.
#ifndef KOLVAR_SCAN_ENGINE_VIRUS_DETAILS_H_
#define KOLVAR_SCAN_ENGINE_VIRUS_DETAILS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar {

inline constexpr char16_t kVirusDetailDatabaseName[] = u"KVVirusDBDet.dat";
inline constexpr size_t kVirusDetailRecordSize = 1044;
// Characters each text holds, its terminating zero not counted.
inline constexpr size_t kVirusNameMaxLength = 69;
inline constexpr size_t kVirusDescriptionMaxLength = 249;
inline constexpr size_t kVirusRecommendationMaxLength = 199;

// One record of the file.
// Layout: docs/formats.md#virus-details
struct VirusDetailRecord {
  uint32_t virus_id;
  char16_t name[70];  // UTF-16LE, zero-terminated within the field
  char16_t description[250];
  char16_t recommendation[200];

  std::u16string Name() const;
  std::u16string Description() const;
  std::u16string Recommendation() const;
};
static_assert(sizeof(VirusDetailRecord) == kVirusDetailRecordSize);
static_assert(offsetof(VirusDetailRecord, virus_id) == 0);
static_assert(offsetof(VirusDetailRecord, name) == 4);
static_assert(offsetof(VirusDetailRecord, description) == 144);
static_assert(offsetof(VirusDetailRecord, recommendation) == 644);

// A zero-filled record with the texts cut to their fields. False when a text is longer than its
// field holds (the record is still filled, with the text cut).
bool MakeVirusDetailRecord(uint32_t virus_id, std::u16string_view name,
                           std::u16string_view description, std::u16string_view recommendation,
                           VirusDetailRecord* record);

// Lookup by virus id: the first record carrying the id. When the file cannot be opened or no
// record carries the id, *record is the not-found record (id 0, empty texts) and the result is
// false.
bool LookUpVirusDetail(std::u16string_view database_path, uint32_t virus_id,
                       VirusDetailRecord* record);
// Every whole record in file order (a trailing partial record is ignored). False (last error
// set) when the file cannot be opened or read.
bool ReadVirusDetails(std::u16string_view database_path, std::vector<VirusDetailRecord>* records);
// Replaces the file atomically with the records. False (last error set) on failure; the old file
// is then unchanged.
bool WriteVirusDetails(std::u16string_view database_path,
                       const std::vector<VirusDetailRecord>& records);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_VIRUS_DETAILS_H_
