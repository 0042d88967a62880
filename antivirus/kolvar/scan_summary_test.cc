// The summary's exit status and its renderings for people.
#include "antivirus/kolvar/scan_summary.h"

#include <gtest/gtest.h>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

ScanSummary Summary(bool completed, size_t infected, size_t untested) {
  ScanSummary summary;
  summary.folder = u"\\";
  summary.completed = completed;
  summary.incomplete_reason = "stopped by the user";
  summary.counters.folders_entered = 1;
  summary.counters.files_tested = 2;
  for (size_t i = 0; i < infected; ++i) {
    ReportEntry entry;
    entry.folder = u"\\Docs";
    entry.file_name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i));
    entry.virus_name = u"Alpha";
    entry.action = kActionMove;
    entry.outcome = ActionOutcome::kQuarantined;
    summary.entries.push_back(entry);
  }
  for (size_t i = 0; i < untested; ++i) {
    summary.untested.entries.push_back({u"\\fifo" + std::u16string(1, u'0' + i % 10), u"FIFO"});
  }
  summary.untested.total = untested;
  return summary;
}

TEST(ScanSummary, ExitStatusOfCleanInfectedAndUnfinishedScans) {
  EXPECT_EQ(ScanExitStatus(Summary(true, 0, 5)), 0);
  EXPECT_EQ(ScanExitStatus(Summary(true, 2, 0)), 1);
  EXPECT_EQ(ScanExitStatus(Summary(false, 2, 0)), 2);
}

TEST(ScanSummary, ReportListsInfectionsAndCutsTheUntestedList) {
  testing::TestDevice device;  // paths are shown as device paths
  const std::string text = ReportText(Summary(true, 2, kUntestedShownInReport + 3));
  EXPECT_NE(text.find("Scan of \\ finished in 00:00:00: 1 folder, 2 files (0 KB) tested, 2 "
                      "infected files."),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  \\Docs\\fa       Alpha       Move to Repository  moved to repository\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Not tested (23):"), std::string::npos);
  EXPECT_NE(text.find("... and 3 more (--json lists them all)"), std::string::npos);
  EXPECT_EQ(QuietText(Summary(true, 2, 1)),
            "\\Docs\\fa: Alpha [moved to repository]\n\\Docs\\fb: Alpha [moved to repository]\n");
  EXPECT_NE(ReportText(Summary(false, 0, 0)).find("did not finish (stopped by the user)"),
            std::string::npos);
}

TEST(ScanSummary, HostProfileShowsHostPaths) {
  const std::string text = QuietText(Summary(true, 1, 0));  // no device image: the host profile
  EXPECT_EQ(text, "/Docs/fa: Alpha [moved to repository]\n");
}

}  // namespace
}  // namespace kolvar
