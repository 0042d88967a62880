// kolvar scan's look at the signature database before it scans. The scanner keeps what it loaded
// at its start, but reads the same file of the same installation folder; kolvar loads that file
// itself, so that a scan whose database holds no usable signature is refused (every file would
// read as clean) and one with skipped records is told to the user.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SIGNATURE_CHECK_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SIGNATURE_CHECK_H_

#include <string>
#include <string_view>

#include "scan_engine/signature_database.h"

namespace kolvar {

enum class DatabaseVerdict {
  kSound,     // every record a usable signature
  kDamaged,   // usable signatures, but records skipped or one cut short: warn and scan
  kUnusable,  // unreadable, empty, or no usable signature: no scan
};

struct DatabaseCheck {
  DatabaseVerdict verdict = DatabaseVerdict::kSound;
  std::string message;         // for the user; empty when sound
  SignatureLoadReport report;  // what loaded and what was skipped (all zero when unreadable)
};

DatabaseCheck CheckSignatureDatabase(std::u16string_view database_path);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SIGNATURE_CHECK_H_
