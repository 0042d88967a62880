// The two versions of each replaced file; see replaced_files.h.
#include "tests/files/replaced_files.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/config_store.h"
#include "common/configuration.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/repository_index.h"
#include "scan_engine/virus_details.h"

namespace kolvar::testing {
namespace {

// Records of each version: different counts, so that a file cut at a record boundary shows too.
uint32_t RecordCount(int version) { return version == 1 ? 700 : 450; }

std::u16string Numbered(std::u16string_view stem, uint32_t i) {
  const std::string digits = std::to_string(i);
  return std::u16string(stem) + std::u16string(digits.begin(), digits.end());
}

bool WriteConfiguration(std::u16string_view path, int version) {
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  const uint32_t number = static_cast<uint32_t>(version);
  const std::string fill(RecordCount(version) * 200, static_cast<char>('0' + version));
  return store.AddSection("TEST") && store.AddValue("Version", 2, 4, &number) &&
         store.AddValue("Fill", 3, static_cast<uint32_t>(fill.size()), fill.data()) &&
         store.Save(path);
}

int ReadConfiguration(std::u16string_view path) {
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  uint32_t version = 0;
  uint32_t size = sizeof(version);
  if (!store.Load(path, false) || !store.GetValue("Version", &size, &version, "TEST")) return 0;
  if (version != 1 && version != 2) return 0;
  std::string fill(RecordCount(static_cast<int>(version)) * 200, '\0');
  size = static_cast<uint32_t>(fill.size());
  if (!store.GetValue("Fill", &size, fill.data(), "TEST") || size != fill.size()) return 0;
  for (char c : fill) {
    if (c != static_cast<char>('0' + version)) return 0;
  }
  return static_cast<int>(version);
}

bool WriteResultFile(std::u16string_view path, int version) {
  InfectionList list;
  for (uint32_t i = 0; i < RecordCount(version); ++i) {
    list.Append(u"\\My Documents", Numbered(u"file", i), 0, static_cast<uint32_t>(version), 0);
  }
  return WriteInfectionRecords(list, path);
}

int ReadResultFile(std::u16string_view path) {
  InfectionFile contents;
  if (!ReadInfectionFile(path, &contents) || contents.damaged || contents.records.empty()) {
    return 0;
  }
  const uint32_t version = contents.records[0].virus_id;
  if ((version != 1 && version != 2) || contents.declared_count != RecordCount(version) ||
      contents.records.size() != contents.declared_count) {
    return 0;
  }
  for (const InfectionRecord& record : contents.records) {
    if (record.virus_id != version) return 0;
  }
  return static_cast<int>(version);
}

bool WriteDetails(std::u16string_view path, int version) {
  std::vector<VirusDetailRecord> records(RecordCount(version));
  for (uint32_t i = 0; i < records.size(); ++i) {
    MakeVirusDetailRecord(static_cast<uint32_t>(version), Numbered(u"Virus.", i), u"described",
                          u"recommended", &records[i]);
  }
  return WriteVirusDetails(path, records);
}

int ReadDetails(std::u16string_view path) {
  std::vector<VirusDetailRecord> records;
  if (!ReadVirusDetails(path, &records) || records.empty()) return 0;
  const uint32_t version = records[0].virus_id;
  if ((version != 1 && version != 2) || records.size() != RecordCount(version)) return 0;
  for (const VirusDetailRecord& record : records) {
    if (record.virus_id != version) return 0;
  }
  return static_cast<int>(version);
}

bool WriteIndex(std::u16string_view path, int version) {
  std::vector<RepositoryRecord> records(RecordCount(version));
  for (uint32_t i = 0; i < records.size(); ++i) {
    if (!MakeRepositoryRecord(static_cast<uint32_t>(version), u"\\My Documents",
                              Numbered(u"file", i), u"05/03/2007", &records[i])) {
      return false;
    }
  }
  return RewriteRepositoryIndex(path, records, nullptr);
}

int ReadIndex(std::u16string_view path) {
  std::vector<RepositoryRecord> records;
  if (!ReadRepositoryIndex(path, &records) || records.empty()) return 0;
  const uint32_t version = records[0].virus_id;
  if ((version != 1 && version != 2) || records.size() != RecordCount(version)) return 0;
  for (const RepositoryRecord& record : records) {
    if (record.virus_id != version) return 0;
  }
  return static_cast<int>(version);
}

struct Entry {
  ReplacedFile file;
  std::string_view word;
  bool (*write)(std::u16string_view path, int version);
  int (*read)(std::u16string_view path);
};

constexpr Entry kEntries[] = {
    {ReplacedFile::kConfiguration, "configuration", WriteConfiguration, ReadConfiguration},
    {ReplacedFile::kResultFile, "result-file", WriteResultFile, ReadResultFile},
    {ReplacedFile::kVirusDetails, "virus-details", WriteDetails, ReadDetails},
    {ReplacedFile::kRepositoryIndex, "repository-index", WriteIndex, ReadIndex},
};

const Entry& EntryOf(ReplacedFile file) {
  for (const Entry& entry : kEntries) {
    if (entry.file == file) return entry;
  }
  return kEntries[0];
}

}  // namespace

std::string_view ReplacedFileWord(ReplacedFile file) { return EntryOf(file).word; }

bool ReplacedFileFromWord(std::string_view word, ReplacedFile* file) {
  for (const Entry& entry : kEntries) {
    if (entry.word == word) {
      *file = entry.file;
      return true;
    }
  }
  return false;
}

bool WriteReplacedFile(ReplacedFile file, std::u16string_view path, int version) {
  return EntryOf(file).write(path, version);
}

int ReadReplacedFile(ReplacedFile file, std::u16string_view path) {
  return EntryOf(file).read(path);
}

}  // namespace kolvar::testing
