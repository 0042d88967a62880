// Host names that are no device text as they stand (bytes that are not UTF-8, a "\" inside a name,
// the code point that stands for such a "\", a folder of such a name, wildcards, a terminal's
// escape sequence) over real processes: the files are scanned, shown with their odd bytes as
// "\xFF", quarantined, and restored byte for byte under the same names. Such a name must never
// hide a file from a scan.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class KolvarHostNamesTest : public FrontEndTest {};

TEST_F(KolvarHostNamesTest, FilesOfAnyNameAreFoundQuarantinedAndRestoredUnderTheirNames) {
  const std::string docs = device_.Host(u"\\My Documents");
  const std::string odd_folder = docs + "/dir\xFF\xFE";
  fs::create_directories(odd_folder);
  const std::string eicar = SignatureBytes(kEicarId);
  const struct {
    std::string host;   // below \My Documents
    std::string shown;  // as kolvar shows it
  } planted[] = {
      {"bad\xFF\xFEname.com", "\\My Documents\\bad\\xFF\\xFEname.com"},
      {"back\\slash.com", "\\My Documents\\back\\x5Cslash.com"},
      {"dir\xFF\xFE/inner.com", "\\My Documents\\dir\\xFF\\xFE\\inner.com"},
      // A real U+F05C, the code point that stands for "\" in device names.
      {"priv\xEF\x81\x9C.com", "\\My Documents\\priv\\xEF\\x81\\x9C.com"},
      // The device's wildcards and a terminal's escape sequence are ordinary bytes of a name.
      {"star*name?.com", "\\My Documents\\star*name?.com"},
      {"esc\x1B[2J.com", "\\My Documents\\esc\\x1B[2J.com"},
  };
  std::set<std::string> shown;
  for (const auto& p : planted) {
    std::ofstream(docs + "/" + p.host, std::ios::binary) << eicar;
    shown.insert(p.shown);
  }
  std::ofstream(odd_folder + "/clean\xC0.txt") << "nothing to see";

  RunResult scan = Kolvar({"scan", "\\My Documents", "--action=quarantine", "--json"});
  ASSERT_EQ(scan.exit_status, 1) << scan.err << scan.out;
  const std::vector<std::string> facts = JsonFacts(scan.out);
  EXPECT_EQ(FactsOfKind(facts, "files_tested", 1), std::set<std::string>{"7"});
  EXPECT_EQ(FactsOfKind(facts, "not_tested_count", 1), std::set<std::string>{"0"});
  EXPECT_EQ(FactsOfKind(facts, "infected", 1), shown);
  EXPECT_EQ(FactsOfKind(facts, "infected", 4), std::set<std::string>{"quarantined"})
      << scan.err << scan.out;
  for (const auto& p : planted) {
    EXPECT_FALSE(fs::exists(docs + "/" + p.host)) << p.shown;
  }
  size_t protected_copies = 0;
  for (const auto& entry : fs::directory_iterator(device_.Host(folder_ + u"\\Quarantine"))) {
    if (entry.path().extension() == ".avq") ++protected_copies;
  }
  EXPECT_EQ(protected_copies, std::size(planted));

  RunResult list = Kolvar({"quarantine", "list"});
  ASSERT_EQ(list.exit_status, 0) << list.err;
  for (const char* part : {"bad\\xFF\\xFEname.com", "back\\x5Cslash.com", "priv\\xEF\\x81\\x9C.com",
                           "\\My Documents\\dir\\xFF\\xFE "}) {
    EXPECT_NE(list.out.find(part), std::string::npos) << part << "\n" << list.out;
  }

  // A message about such a file names it as the report does.
  for (const auto& p : planted) std::ofstream(docs + "/" + p.host) << "a new file of that name";
  RunResult occupied = Kolvar({"quarantine", "restore", "1"});
  EXPECT_EQ(occupied.exit_status, 2);
  EXPECT_NE(occupied.err.find("exists there"), std::string::npos) << occupied.err;
  bool named = false;
  for (const std::string& path : shown) named |= occupied.err.find(path) != std::string::npos;
  EXPECT_TRUE(named) << occupied.err;
  for (const auto& p : planted) fs::remove(docs + "/" + p.host);

  for (size_t i = 0; i < std::size(planted); ++i) {
    RunResult restore = Kolvar({"quarantine", "restore", "1"});
    EXPECT_EQ(restore.exit_status, 0) << restore.err << restore.out;
    EXPECT_EQ(restore.out.rfind("Restored \\My Documents\\", 0), 0u) << restore.out;
  }
  for (const auto& p : planted) {
    EXPECT_EQ(ReadHost(docs + "/" + p.host), eicar) << p.shown;
  }
  EXPECT_EQ(Kolvar({"quarantine", "list"}).out, "The repository is empty.\n");

  // The report names them as the JSON document does, and a folder of such a name can be scanned
  // by its host path.
  RunResult report = Kolvar({"scan", "\\My Documents"});
  EXPECT_EQ(report.exit_status, 1) << report.err;
  for (const std::string& path : shown) {
    EXPECT_NE(report.out.find(path), std::string::npos) << path << "\n" << report.out;
  }
  RunResult folder = Kolvar({"scan", odd_folder, "--json"});
  ASSERT_EQ(folder.exit_status, 1) << folder.err << folder.out;
  EXPECT_EQ(FactsOfKind(JsonFacts(folder.out), "infected", 1),
            std::set<std::string>{"\\My Documents\\dir\\xFF\\xFE\\inner.com"});
}

}  // namespace
}  // namespace kolvar
