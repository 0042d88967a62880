// The quarantine as the main program shows it: the entries of the repository index
// KVRepository.dat in file order, each with its virus's name from KVVirusDBDet.dat, the path a
// restore puts it back at, and where its protected copy lies. The repository dialog and the
// terminal front end's "kolvar quarantine" read the entries here and act on them through the
// scan engine's Repository, so both show and change the quarantine the same way.
#ifndef KOLVAR_ANTIVIRUS_REPOSITORY_ENTRIES_H_
#define KOLVAR_ANTIVIRUS_REPOSITORY_ENTRIES_H_

#include <cstddef>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "scan_engine/repository_index.h"

namespace kolvar {

struct RepositoryEntry {
  size_t number = 0;  // from 1, in index order
  RepositoryRecord record;
  std::u16string virus_name;  // empty when the id has no detail record
  std::u16string home_path;   // folder and file name: where a restore puts it
  std::u16string protected_path;
  bool protected_copy_present = false;
};

// False (last error set) when the index exists but cannot be read; a missing index is empty.
bool ReadRepositoryEntries(const InstallPaths& paths, std::vector<RepositoryEntry>* entries);

// The text that says the index cannot be read, with the last error's meaning.
std::u16string UnreadableIndexText(const InstallPaths& paths);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_REPOSITORY_ENTRIES_H_
