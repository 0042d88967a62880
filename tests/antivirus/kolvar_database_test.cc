// kolvar scan on a damaged signature database, over real processes: a database that yields no
// usable signature is refused with exit status 2 before any scan, one from which records were
// skipped is warned about with their count while the scan goes on, and an empty pattern never
// makes a clean file infected (once it had --action=delete delete every file it applied to).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "scan_engine/file_type_classes.h"
#include "scan_engine/signature_database.h"
#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

constexpr char kDamagedBox[] = "Virus Database damaged: some signatures were not loaded";

class KolvarDatabaseTest : public FrontEndTest {
 protected:
  std::u16string DatabasePath() const { return folder_ + u"\\KVVirusDB.dat"; }
  // The installed database is a hard link to the build's: it is replaced, never written through.
  void ReplaceDatabase(const std::string& bytes) {
    fs::remove(device_.Host(DatabasePath()));
    device_.WriteFile(DatabasePath(), bytes);
  }
  void PlantFiles() {
    device_.WriteFile(u"\\My Documents\\thesis.txt", "Chapter 1. All is well.\n");
    device_.WriteFile(u"\\My Documents\\photo.jpg", "\xFF\xD8\xFF\xE0 a photo");
    device_.WriteFile(u"\\My Documents\\eicar.com", SignatureBytes(kEicarId));
  }
};

std::string EmptyPatternRecord() {
  SignatureRecord record{};
  record.virus_id = 4242;
  record.type_mask = kAnyFileClass;
  uint8_t stored[kSignatureRecordSize];
  EncodeSignatureRecord(record, stored);
  return std::string(reinterpret_cast<const char*>(stored), sizeof(stored));
}

TEST_F(KolvarDatabaseTest, EmptyPatternNeverDeletesCleanFiles) {
  PlantFiles();
  const std::string sound = device_.ReadFile(DatabasePath());
  const uint32_t records = static_cast<uint32_t>(sound.size() / kSignatureRecordSize) + 1;
  ReplaceDatabase(EmptyPatternRecord() + sound);
  const RunResult result = Kolvar({"scan", "\\My Documents", "--action=delete"});
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\thesis.txt"));
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\photo.jpg"));
  EXPECT_FALSE(device_.Exists(u"\\My Documents\\eicar.com"));
  EXPECT_NE(result.out.find("1 infected file"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("1 of " + std::to_string(records) +
                            " records skipped (1 with an empty pattern)"),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(HasBox(kDamagedBox));
}

std::string Noise(const std::string&) {
  std::string bytes(1000, '\0');
  uint32_t seed = 2024;
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  return bytes;
}

// The JSON document tells what loaded and what was skipped: a program that reads only standard
// output must not take a scan with part of the signatures for a scan with all of them, nor a scan
// refused for want of signatures (which prints its reason on standard error too) for a clean one.
TEST_F(KolvarDatabaseTest, JsonDocumentTellsOfSkippedRecordsAndOfAScanThatDidNotRun) {
  PlantFiles();
  const std::string sound = device_.ReadFile(DatabasePath());
  const std::string records = std::to_string(sound.size() / kSignatureRecordSize);
  const struct {
    const char* name;
    std::string database;
    int exit_status;
    std::vector<std::string> facts;  // each the start of a fact of the document
  } cases[] = {
      {"sound",
       sound,
       1,
       {"started\tTrue", "completed\tTrue", "signature_usable\tTrue",
        "signature_database\tFalse\t" + records + "\t0\t-"}},
      {"cut inside the last record",
       sound.substr(0, sound.size() - 100),
       1,
       {"started\tTrue", "signature_usable\tTrue",
        "signature_database\tTrue\t7\t1\t1 of 8 records skipped (1 cut short at the end of the "
        "file, 232 of 332 bytes)"}},
      {"empty",
       "",
       2,
       {"started\tFalse", "completed\tFalse", "exit_status\t2", "infected_files\t0",
        "signature_usable\tFalse", "incomplete_reason\tthe signature database "}},
      {"random bytes",
       Noise(sound),
       2,
       {"started\tFalse", "exit_status\t2", "signature_usable\tFalse",
        "signature_database\tTrue\t0\t"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReplaceDatabase(c.database);
    const RunResult result = Kolvar({"scan", "\\My Documents", "--json"});
    EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
    const std::vector<std::string> facts = JsonFacts(result.out);
    if (c.exit_status == 2) {
      // The document's reason is the message on standard error.
      const std::set<std::string> reasons = FactsOfKind(facts, "incomplete_reason", 1);
      ASSERT_EQ(reasons.size(), 1u) << result.out;
      EXPECT_NE(reasons.begin()->find("no virus could be detected, so nothing was scanned"),
                std::string::npos)
          << result.out;
      EXPECT_NE(result.err.find(*reasons.begin()), std::string::npos) << result.err;
    }
    for (const std::string& expected : c.facts) {
      EXPECT_TRUE(std::any_of(facts.begin(), facts.end(),
                              [&](const std::string& fact) { return fact.rfind(expected, 0) == 0; }))
          << expected << "\n" << result.out;
    }
  }
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\eicar.com"));
}

struct DatabaseCase {
  const char* name;
  // The installed database from the sound one.
  std::string (*damage)(const std::string& sound);
  int exit_status;
  const char* says;  // in standard error; empty: no warning at all
};

void PrintTo(const DatabaseCase& c, std::ostream* os) { *os << c.name; }

class KolvarDamagedDatabaseTest : public KolvarDatabaseTest,
                                  public ::testing::WithParamInterface<DatabaseCase> {};

TEST_P(KolvarDamagedDatabaseTest, IsToldAndNeverReportsClean) {
  const DatabaseCase& c = GetParam();
  PlantFiles();
  ReplaceDatabase(c.damage(device_.ReadFile(DatabasePath())));
  const RunResult result = Kolvar({"scan", "\\My Documents"});
  EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
  if (*c.says == '\0') {
    EXPECT_EQ(result.err.find("signature database"), std::string::npos) << result.err;
    EXPECT_FALSE(HasBox(kDamagedBox));
  } else {
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
  }
  if (c.exit_status == 2) {
    // Refused before any scan: no verdict at all, and the scanner was not started.
    EXPECT_EQ(result.out.find("infected file"), std::string::npos) << result.out;
    EXPECT_TRUE(device_.ProcessesOfDevice().empty());
  } else {
    // The whole records before a cut still load: the EICAR signature comes first.
    EXPECT_NE(result.out.find("eicar.com"), std::string::npos) << result.out;
  }
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\eicar.com"));
}

INSTANTIATE_TEST_SUITE_P(
    Databases, KolvarDamagedDatabaseTest,
    ::testing::Values(
        DatabaseCase{"Empty", [](const std::string&) { return std::string(); }, 2,
                     "is damaged or empty (the file is empty): no virus could be detected"},
        DatabaseCase{"OneByte", [](const std::string& s) { return s.substr(0, 1); }, 2,
                     "(1 of 1 record skipped (1 cut short at the end of the file, 1 of 332 "
                     "bytes), no usable signature)"},
        DatabaseCase{"OneByteShortOfARecord", [](const std::string& s) { return s.substr(0, 331); },
                     2, "331 of 332 bytes), no usable signature"},
        DatabaseCase{"RandomBytes", Noise, 2, "no usable signature"},
        DatabaseCase{"CutInsideTheLastRecord",
                     [](const std::string& s) { return s.substr(0, s.size() - 100); }, 1,
                     "records skipped (1 cut short at the end of the file, 232 of 332 bytes). The "
                     "scan goes on with the 7 signatures that loaded"},
        DatabaseCase{"Sound", [](const std::string& s) { return s; }, 1, ""}),
    [](const ::testing::TestParamInfo<DatabaseCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kolvar
