// kolvar scan over real processes for infected files below folders longer than a result record
// holds: the front end names the file by its real path in the report and the JSON document (and
// acts on it) when exactly one file fits what the record kept, and otherwise shows the cut path
// marked with "…" and a note, and leaves the files alone.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

// The JSON facts of one kind (see JsonFacts), tab-separated fields from the second on.
std::vector<std::vector<std::string>> FactFields(const std::vector<std::string>& facts,
                                                 const std::string& kind) {
  std::vector<std::vector<std::string>> out;
  for (const std::string& fact : facts) {
    std::vector<std::string> fields;
    std::istringstream in(fact);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!fields.empty() && fields[0] == kind) out.emplace_back(fields.begin() + 1, fields.end());
  }
  return out;
}

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// 135 characters: any folder below it is cut in a result record, after its first 127.
std::u16string DeepFolder(std::u16string_view scan_folder) {
  return std::u16string(scan_folder) + u"\\" + std::u16string(58, u'a') + u"\\" +
         std::u16string(55, u'b');
}

class KolvarLongPathTest : public FrontEndTest {};

TEST_F(KolvarLongPathTest, CutResultsAreNamedByTheirRealPathOrMarked) {
  const struct Case {
    const char* what;
    std::u16string scan_folder;
    std::vector<std::u16string> files;  // infected, each its own path
    std::string action;
    bool resolved;
    const char* outcome;  // of every file
  } cases[] = {
      {"deleted by its real path",
       u"\\My Documents\\one",
       {DeepFolder(u"\\My Documents\\one") + u"\\project\\eicar.com"},
       "delete",
       true,
       "deleted"},
      {"quarantined by its real path",
       u"\\My Documents\\two",
       {DeepFolder(u"\\My Documents\\two") + u"\\project\\eicar.com"},
       "quarantine",
       true,
       "quarantined"},
      {"only the name cut",
       u"\\My Documents\\three",
       {u"\\My Documents\\three\\" + std::u16string(130, u'n') + u".com"},
       "ignore",
       true,
       "ignored"},
      {"two files fit: marked and left alone",
       u"\\My Documents\\four",
       {DeepFolder(u"\\My Documents\\four") + u"\\project one\\eicar.com",
        DeepFolder(u"\\My Documents\\four") + u"\\project two\\eicar.com"},
       "delete",
       false,
       "not_acted_on"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::u16string& file : c.files) device_.WriteFile(file, SignatureBytes(kEicarId));
    const RunResult result =
        Kolvar({"scan", "--json", "--action=" + c.action, Utf8(c.scan_folder)});
    ASSERT_EQ(result.exit_status, 1) << result.out << result.err;
    const std::vector<std::vector<std::string>> infected =
        FactFields(JsonFacts(result.out), "infected");
    ASSERT_EQ(infected.size(), c.files.size()) << result.out;
    std::set<std::string> shown;
    for (const std::vector<std::string>& fields : infected) {
      EXPECT_EQ(fields[3], c.outcome) << result.out;
      shown.insert(fields[0]);
    }
    if (c.resolved) {
      std::set<std::string> real;
      for (const std::u16string& file : c.files) {
        real.insert(Utf8(file));
        EXPECT_NE(result.out.find("\"host_path\": \"" + device_.Host(file) + "\""),
                  std::string::npos)
            << result.out;
      }
      EXPECT_EQ(shown, real);
      EXPECT_NE(result.out.find("\"path_resolved\": true"), std::string::npos) << result.out;
      EXPECT_EQ(result.out.find("path_note"), std::string::npos) << result.out;
    } else {
      // One cut path for both, marked where it was cut; neither file was touched.
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(*shown.begin(), Utf8(c.files[0].substr(0, 127)) + "…\\eicar.com");
      EXPECT_NE(result.out.find("\"whole_path\": false"), std::string::npos) << result.out;
      EXPECT_NE(result.out.find("2 files fit it"), std::string::npos) << result.out;
    }
    for (const std::u16string& file : c.files) {
      EXPECT_EQ(device_.Exists(file),
                std::string(c.outcome) != "deleted" && std::string(c.outcome) != "quarantined")
          << Utf8(file);
    }
  }

  // The report for people: the marked path with its note, never a path that names no file.
  const RunResult report = Kolvar({"scan", "\\My Documents\\four"});
  EXPECT_EQ(report.exit_status, 1) << report.err;
  const std::string marked = Utf8(DeepFolder(u"\\My Documents\\four").substr(0, 127)) + "…";
  EXPECT_NE(report.out.find(marked + "\\eicar.com"), std::string::npos) << report.out;
  EXPECT_NE(report.out.find("path cut short in the scan results"), std::string::npos) << report.out;
  EXPECT_EQ(report.out.find(marked.substr(0, marked.size() - 3) + "\\eicar.com"), std::string::npos)
      << report.out;

  // The quarantined file is listed under its real folder.
  const RunResult list = Kolvar({"quarantine", "list"});
  EXPECT_NE(list.out.find(Utf8(DeepFolder(u"\\My Documents\\two") + u"\\project ")),
            std::string::npos)
      << list.out;
}

}  // namespace
}  // namespace kolvar
