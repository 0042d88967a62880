// The files the suite replaces, each written and read through its own writer and reader, in two
// versions that differ in every record and in length. A torn file (part of one version, part of
// the other, or cut short) reads as neither.
#ifndef KOLVAR_TESTS_FILES_REPLACED_FILES_H_
#define KOLVAR_TESTS_FILES_REPLACED_FILES_H_

#include <string>
#include <string_view>

namespace kolvar::testing {

enum class ReplacedFile {
  kConfiguration,    // ConfigStore::Save, encrypted as kvmavcfg.dat
  kResultFile,       // WriteInfectionRecords (inffile.lst)
  kVirusDetails,     // WriteVirusDetails (KVVirusDBDet.dat)
  kRepositoryIndex,  // RewriteRepositoryIndex (KVRepository.dat)
};

// The word that names the file on the writer's command line, and back.
std::string_view ReplacedFileWord(ReplacedFile file);
bool ReplacedFileFromWord(std::string_view word, ReplacedFile* file);

// Writes version 1 or 2 of the file at `path` with the suite's own writer.
bool WriteReplacedFile(ReplacedFile file, std::u16string_view path, int version);
// Reads the file with the suite's own reader: 1 or 2 for a whole version, 0 for anything else.
int ReadReplacedFile(ReplacedFile file, std::u16string_view path);

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_FILES_REPLACED_FILES_H_
