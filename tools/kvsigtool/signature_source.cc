// Parsing, checking and printing the signature source.
#include "tools/kvsigtool/signature_source.h"

#include <cstring>
#include <map>
#include <optional>

#include "platform/text.h"
#include "scan_engine/file_type_classes.h"

namespace kolvar::kvsigtool {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Splits into at most `count` fields; the last one keeps any further "|".
std::vector<std::string_view> SplitFields(std::string_view s, size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const size_t bar = s.find('|');
    if (bar == std::string_view::npos) break;
    fields.push_back(Trim(s.substr(0, bar)));
    s.remove_prefix(bar + 1);
  }
  fields.push_back(Trim(s));
  return fields;
}

std::optional<uint32_t> ParseId(std::string_view s) {
  if (s.empty() || s.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value == 0 || value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex digit pairs with optional spaces between pairs.
bool ParseHexPattern(std::string_view s, std::vector<uint8_t>* bytes, std::string* why) {
  bytes->clear();
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ' || s[i] == '\t') {
      ++i;
      continue;
    }
    const int high = HexDigit(s[i]);
    const int low = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    if (high < 0 || low < 0) {
      const bool unpaired = high >= 0 && (i + 1 == s.size() || s[i + 1] == ' ' || s[i + 1] == '\t');
      const char bad = high < 0 ? s[i] : unpaired ? 0 : s[i + 1];
      *why = unpaired ? "hexadecimal digits must come in pairs"
                      : "'" + std::string(1, bad) + "' is not a hexadecimal digit";
      return false;
    }
    bytes->push_back(static_cast<uint8_t>(high << 4 | low));
    i += 2;
  }
  return true;
}

// A UTF-8 text of 1 to `max` UTF-16 characters, without NUL.
bool ParseText(std::string_view s, size_t max, const char* what, std::u16string* out,
               std::string* why) {
  if (!platform::Utf8ToUtf16(s, out)) {
    *why = std::string(what) + " is not valid UTF-8";
    return false;
  }
  // The detail file ends each text at its first NUL: a text holding one would come back cut.
  if (out->find(u'\0') != std::u16string::npos) {
    *why = std::string(what) + " holds a NUL character";
    return false;
  }
  if (out->empty() || out->size() > max) {
    *why = std::string(what) + " must have 1 to " + std::to_string(max) + " characters (has " +
           std::to_string(out->size()) + ")";
    return false;
  }
  return true;
}

struct Virus {
  std::u16string name;
  std::optional<std::u16string> description, recommendation;
  int first_line = 0;
};

}  // namespace

bool ParseClasses(std::string_view text, uint32_t* mask) {
  text = Trim(text);
  if (text == "none") {
    *mask = 0;
    return true;
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 10) return false;
    uint32_t value = 0;
    for (char c : text.substr(2)) {
      if (HexDigit(c) < 0) return false;
      value = value << 4 | static_cast<uint32_t>(HexDigit(c));
    }
    *mask = value;
    return true;
  }
  uint32_t value = 0;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view name = Trim(text.substr(0, comma));
    uint32_t bit = 0;
    if (name == "any") bit = kAnyFileClass;
    for (const FileTypeClass& row : kFileTypeClasses) {
      if (row.class_bit == kAnyFileClass || row.class_bit == kFileTypeTableEnd) continue;
      if (name == row.extension) bit = row.class_bit;
    }
    if (bit == 0) return false;
    value |= bit;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *mask = value;
  return true;
}

std::string FormatClasses(uint32_t mask) {
  if (mask == 0) return "none";
  std::string names;
  uint32_t rest = mask;
  auto add = [&](const char* name, uint32_t bit) {
    if (!(rest & bit)) return;
    if (!names.empty()) names += ',';
    names += name;
    rest &= ~bit;
  };
  add("any", kAnyFileClass);
  for (const FileTypeClass& row : kFileTypeClasses) {
    if (row.class_bit != kAnyFileClass && row.class_bit != kFileTypeTableEnd) {
      add(row.extension, row.class_bit);
    }
  }
  if (rest == 0) return names;
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", mask);  // bits outside the table: the whole mask
  return hex;
}

bool CompileSignatureSource(std::string_view text, CompiledSource* out,
                            std::vector<std::string>* errors) {
  errors->clear();
  std::map<uint32_t, Virus> viruses;
  std::vector<uint32_t> virus_order;
  std::vector<SignatureRecord> signatures;
  auto fail = [&](int line, const std::string& message) {
    errors->push_back("line " + std::to_string(line) + ": " + message);
  };

  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t newline = text.find('\n');
    const std::string_view line = Trim(text.substr(0, newline));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find_first_of(" \t");
    const std::string_view keyword = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
    std::string why;

    if (keyword == "signature") {
      const auto fields = SplitFields(rest, 4);
      if (fields.size() != 4) {
        fail(line_number, "a signature needs 4 fields: id | name | classes | pattern");
        continue;
      }
      const auto id = ParseId(fields[0]);
      std::u16string name;
      uint32_t mask = 0;
      std::vector<uint8_t> pattern;
      if (!id) {
        fail(line_number,
             "virus id '" + std::string(fields[0]) + "' is not a number from 1 to " + "4294967295");
      } else if (!ParseText(fields[1], kVirusNameMaxLength, "the virus name", &name, &why)) {
        fail(line_number, why);
      } else if (!ParseClasses(fields[2], &mask)) {
        fail(line_number, "unknown classes '" + std::string(fields[2]) +
                              "' (use any, exe, dll, psw, pxl, txt, dat, html, 2bp, gif, htm, "
                              "a list of them, none, or a mask like 0x10000000)");
      } else if (!ParseHexPattern(fields[3], &pattern, &why)) {
        fail(line_number, "pattern: " + why);
      } else if (pattern.empty() || pattern.size() > kSignaturePatternCapacity) {
        fail(line_number,
             "a pattern must have 1 to 256 bytes (has " + std::to_string(pattern.size()) + ")");
      } else {
        auto [it, inserted] = viruses.try_emplace(*id);
        if (inserted) {
          it->second.name = name;
          it->second.first_line = line_number;
          virus_order.push_back(*id);
        } else if (it->second.name != name) {
          fail(line_number, "virus " + std::to_string(*id) + " was named '" +
                                platform::Utf16ToUtf8(it->second.name) + "' on line " +
                                std::to_string(it->second.first_line));
          continue;
        }
        SignatureRecord record;
        std::memset(&record, 0, sizeof(record));
        record.virus_id = *id;
        // The name, cut to whole bytes, in the record's free field: for people reading dumps.
        std::memcpy(record.reserved, fields[1].data(),
                    std::min(fields[1].size(), sizeof(record.reserved) - 1));
        std::memcpy(record.pattern, pattern.data(), pattern.size());
        record.length = static_cast<int32_t>(pattern.size());
        record.type_mask = mask;
        signatures.push_back(record);
      }
    } else if (keyword == "describe" || keyword == "recommend") {
      const bool describe = keyword == "describe";
      const auto fields = SplitFields(rest, 2);
      const auto id = fields.size() == 2 ? ParseId(fields[0]) : std::nullopt;
      std::u16string value;
      if (fields.size() != 2) {
        fail(line_number, std::string(keyword) + " needs 2 fields: id | text");
      } else if (!id) {
        fail(line_number,
             "virus id '" + std::string(fields[0]) + "' is not a number from 1 to " + "4294967295");
      } else if (!viruses.count(*id)) {
        fail(line_number, "virus " + std::to_string(*id) + " has no signature above this line");
      } else if (!ParseText(fields[1],
                            describe ? kVirusDescriptionMaxLength : kVirusRecommendationMaxLength,
                            describe ? "the description" : "the recommendation", &value, &why)) {
        fail(line_number, why);
      } else {
        auto& slot = describe ? viruses[*id].description : viruses[*id].recommendation;
        if (slot) {
          fail(line_number,
               "virus " + std::to_string(*id) + " has a second " + std::string(keyword) + " line");
        } else {
          slot = value;
        }
      }
    } else {
      fail(line_number, "unknown line '" + std::string(keyword) +
                            "' (expected signature, describe, recommend or a # comment)");
    }
  }

  CompiledSource compiled;
  compiled.signatures = std::move(signatures);
  for (uint32_t id : virus_order) {
    const Virus& virus = viruses[id];
    if (!virus.description)
      fail(virus.first_line, "virus " + std::to_string(id) + " has no describe line");
    if (!virus.recommendation) {
      fail(virus.first_line, "virus " + std::to_string(id) + " has no recommend line");
    }
    if (!virus.description || !virus.recommendation) continue;
    VirusDetailRecord record;
    MakeVirusDetailRecord(id, virus.name, *virus.description, *virus.recommendation, &record);
    compiled.details.push_back(record);
  }
  if (compiled.signatures.empty() && errors->empty()) {
    errors->push_back("line " + std::to_string(line_number) + ": the source has no signature");
  }
  if (!errors->empty()) return false;
  *out = std::move(compiled);
  return true;
}

std::string FormatSignatureSource(std::span<const SignatureRecord> signatures,
                                  std::span<const VirusDetailRecord> details,
                                  uint32_t skipped_records) {
  std::map<uint32_t, const VirusDetailRecord*> by_id;
  for (const VirusDetailRecord& d : details) by_id.try_emplace(d.virus_id, &d);
  std::string out;
  if (skipped_records != 0) {
    out += "# " + std::to_string(skipped_records) +
           " record(s) with an empty pattern or a pattern length outside 1..256 were skipped\n";
  }
  std::map<uint32_t, bool> described;
  std::vector<uint32_t> order;
  for (const SignatureRecord& record : signatures) {
    std::string name;
    const auto it = by_id.find(record.virus_id);
    if (it != by_id.end()) {
      name = platform::Utf16ToUtf8(it->second->Name());
    } else {
      name.assign(reinterpret_cast<const char*>(record.reserved),
                  strnlen(reinterpret_cast<const char*>(record.reserved), sizeof(record.reserved)));
    }
    if (name.empty()) name = "Virus " + std::to_string(record.virus_id);
    std::string hex;
    for (int i = 0; i < record.length; ++i) {
      char pair[4];
      std::snprintf(pair, sizeof(pair), i ? " %02X" : "%02X", record.pattern[i]);
      hex += pair;
    }
    if (record.length == 0) {
      out += "# the next signature has an empty pattern: the scanner never loads it\n";
    }
    out += "signature " + std::to_string(record.virus_id) + " | " + name + " | " +
           FormatClasses(record.type_mask) + " | " + hex + "\n";
    if (described.try_emplace(record.virus_id, true).second) order.push_back(record.virus_id);
  }
  for (uint32_t id : order) {
    const auto it = by_id.find(id);
    if (it == by_id.end()) {
      out += "# virus " + std::to_string(id) + " has no detail record\n";
      continue;
    }
    out += "describe " + std::to_string(id) + " | " +
           platform::Utf16ToUtf8(it->second->Description()) + "\n";
    out += "recommend " + std::to_string(id) + " | " +
           platform::Utf16ToUtf8(it->second->Recommendation()) + "\n";
  }
  return out;
}

}  // namespace kolvar::kvsigtool
