// kolvar quarantine over real processes: files quarantined by a scan are listed, restored byte for
// byte and deleted for good, with the repository dialog's messages when an action cannot be done.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

class KolvarQuarantineTest : public FrontEndTest {
 protected:
  // Quarantines three files through a real scan.
  void QuarantineThree() {
    device_.WriteFile(u"\\My Documents\\a.txt", "text " + SignatureBytes(kTestTextId));
    device_.WriteFile(u"\\My Documents\\b.com", SignatureBytes(kEicarId));
    device_.WriteFile(u"\\Storage Card\\a.txt", "other " + SignatureBytes(kTestTextId));
    RunResult scan = Kolvar({"scan", "--action=quarantine"});
    ASSERT_EQ(scan.exit_status, 1) << scan.err << scan.out;
    ASSERT_EQ(device_.ReadFile(index_).size(), 3u * 1076u);
  }

  const std::u16string index_ = u"\\Program Files\\Kolvar\\KVRepository.dat";
};

TEST_F(KolvarQuarantineTest, ListRestoreAndDeleteRoundTrip) {
  RunResult empty = Kolvar({"quarantine", "list"});
  EXPECT_EQ(empty.exit_status, 0);
  EXPECT_EQ(empty.out, "The repository is empty.\n");

  QuarantineThree();
  RunResult list = Kolvar({"quarantine", "list"});
  ASSERT_EQ(list.exit_status, 0) << list.err;
  EXPECT_NE(list.out.find("Repository: 3 files"), std::string::npos) << list.out;
  for (const char* part : {"a.txt", "b.com", "Kolvar.Test.Text", "EICAR-Test-File",
                           "\\My Documents", "\\Storage Card", "1003"}) {
    EXPECT_NE(list.out.find(part), std::string::npos) << part << "\n" << list.out;
  }
  const std::vector<std::string> lines = [&] {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = list.out.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(list.out.substr(start, end - start));
    }
    return out;
  }();
  ASSERT_EQ(lines.size(), 5u) << list.out;  // heading, column titles, three entries

  // The entry of \Storage Card\a.txt, by its number in the list.
  size_t storage_card = 0;
  for (size_t i = 2; i < lines.size(); ++i) {
    if (lines[i].find("\\Storage Card") != std::string::npos) storage_card = i - 1;
  }
  ASSERT_NE(storage_card, 0u);
  RunResult restore = Kolvar({"quarantine", "restore", std::to_string(storage_card)});
  EXPECT_EQ(restore.exit_status, 0) << restore.err;
  EXPECT_EQ(device_.ReadFile(u"\\Storage Card\\a.txt"), "other " + SignatureBytes(kTestTextId));
  EXPECT_FALSE(device_.Exists(u"\\Program Files\\Kolvar\\Quarantine\\%_Storage Card%@%a.txt.avq"));
  EXPECT_EQ(device_.ReadFile(index_).size(), 2u * 1076u);

  // Restoring onto an occupied place keeps the entry and tells why.
  device_.WriteFile(u"\\My Documents\\a.txt", "a new file of that name");
  RunResult occupied_list = Kolvar({"quarantine", "list", "--json"});
  const size_t a_txt =
      occupied_list.out.find("\"a.txt\"") < occupied_list.out.find("\"b.com\"") ? 1 : 2;
  RunResult occupied = Kolvar({"quarantine", "restore", std::to_string(a_txt)});
  EXPECT_EQ(occupied.exit_status, 2);
  EXPECT_NE(occupied.err.find("a file of that name exists there"), std::string::npos)
      << occupied.err;
  EXPECT_TRUE(HasBox("\"caption\":\"Repository\""));
  EXPECT_EQ(device_.ReadFile(u"\\My Documents\\a.txt"), "a new file of that name");
  EXPECT_EQ(device_.ReadFile(index_).size(), 2u * 1076u);

  RunResult removed = Kolvar({"quarantine", "delete", std::to_string(a_txt)});
  EXPECT_EQ(removed.exit_status, 0) << removed.err;
  EXPECT_FALSE(device_.Exists(u"\\Program Files\\Kolvar\\Quarantine\\%_My Documents%@%a.txt.avq"));
  EXPECT_EQ(device_.ReadFile(index_).size(), 1u * 1076u);

  RunResult last = Kolvar({"quarantine", "delete", "1"});
  EXPECT_EQ(last.exit_status, 0) << last.err;
  EXPECT_FALSE(device_.Exists(index_)) << "no entry left: the index goes";
  EXPECT_FALSE(device_.Exists(u"\\My Documents\\b.com"));
  EXPECT_EQ(Kolvar({"quarantine", "list"}).out, "The repository is empty.\n");
}

TEST_F(KolvarQuarantineTest, EntryNumbersOutsideTheListAreRefused) {
  const struct {
    std::vector<std::string> arguments;
    std::string says;
  } cases[] = {
      {{"quarantine", "restore", "1"}, "The repository is empty."},
      {{"quarantine", "delete", "0"}, "needs the entry's number"},
      {{"quarantine", "delete", "x"}, "needs the entry's number"},
      {{"quarantine", "purge"}, "quarantine needs list, restore N or delete N"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    RunResult result = Kolvar(c.arguments);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
  }
  QuarantineThree();
  RunResult beyond = Kolvar({"quarantine", "restore", "4"});
  EXPECT_EQ(beyond.exit_status, 2);
  EXPECT_NE(beyond.err.find("There is no entry 4 in the repository; it holds entries 1 to 3."),
            std::string::npos)
      << beyond.err;
  EXPECT_EQ(device_.ReadFile(index_).size(), 3u * 1076u);
}

}  // namespace
}  // namespace kolvar
