// The virus detail database KVVirusDBDet.dat as the virus list shows it: every record in file
// order (two records of one virus id are both listed; lookups by id take the first), and what is
// wrong with a file that is not whole. The virus list dialog and "kolvar viruses" read it here.
#ifndef KOLVAR_ANTIVIRUS_VIRUS_LIST_H_
#define KOLVAR_ANTIVIRUS_VIRUS_LIST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan_engine/virus_details.h"

namespace kolvar {

struct VirusList {
  std::vector<VirusDetailRecord> records;
  bool missing = false;         // the file is not there
  uint32_t read_error = 0;      // the system error that stopped reading, 0 when none
  uint64_t trailing_bytes = 0;  // bytes after the last whole record: a short or cut file
};

// Reads whole records until the end, a short record or a read error; never more than the file
// holds.
VirusList ReadVirusList(std::u16string_view path);

// What is wrong with the list's file, for the user; empty when nothing is.
std::u16string VirusListProblem(const VirusList& list, std::u16string_view path);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_VIRUS_LIST_H_
