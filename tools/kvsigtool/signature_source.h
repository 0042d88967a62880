// The readable signature source of kvsigtool and its translation to and from the two database
// files. One line per item; "#" starts a comment line; fields are separated by "|" and trimmed:
//
//   signature <virus id> | <virus name> | <classes> | <hex pattern>
//   describe  <virus id> | <description>
//   recommend <virus id> | <recommendation>
//
// virus id: decimal, 1 to 4294967295; a virus may have several signatures, all with one name.
// name: 1 to 69 characters. classes: "any" or a comma-separated list of exe, dll, psw, pxl, txt,
// dat, html, 2bp, gif, htm (and "any"), or a hexadecimal mask such as 0x10000001; "none" is a
// signature that never applies. pattern: 1 to 256 bytes as hexadecimal digit pairs, spaces
// allowed between pairs. Every virus needs exactly one describe line (1 to 249 characters) and one
// recommend line (1 to 199 characters); the last field of those lines may contain "|". Texts are
// UTF-8. Signatures keep their order in the database: the first one that matches a file wins.
#ifndef KOLVAR_TOOLS_KVSIGTOOL_SIGNATURE_SOURCE_H_
#define KOLVAR_TOOLS_KVSIGTOOL_SIGNATURE_SOURCE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan_engine/signature_database.h"
#include "scan_engine/virus_details.h"

namespace kolvar::kvsigtool {

struct CompiledSource {
  std::vector<SignatureRecord> signatures;  // in source order
  std::vector<VirusDetailRecord> details;   // one per virus, in order of first signature
};

// Parses and checks a whole source. False with one message per fault ("line N: ...") when it is
// not sound; nothing is half taken.
bool CompileSignatureSource(std::string_view text, CompiledSource* out,
                            std::vector<std::string>* errors);

// A source that compiles back to the same signatures and details. Signatures whose virus id has
// no detail record take their name from the record's name field; records the load skipped are
// listed as comments.
std::string FormatSignatureSource(std::span<const SignatureRecord> signatures,
                                  std::span<const VirusDetailRecord> details,
                                  uint32_t skipped_records);

// "any", "exe,txt", "0x400", "none" <-> type masks.
bool ParseClasses(std::string_view text, uint32_t* mask);
std::string FormatClasses(uint32_t mask);

}  // namespace kolvar::kvsigtool

#endif  // KOLVAR_TOOLS_KVSIGTOOL_SIGNATURE_SOURCE_H_
