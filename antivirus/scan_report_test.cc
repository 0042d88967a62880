// The report's entries and the actions carried out as the report dialog carries them out: deleted
// files, files moved into the quarantine and recorded in the index, ignored files, and records
// whose path was cut, which are never acted on.
#include "antivirus/scan_report.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "scan_engine/repository.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class ScanReportTest : public ::testing::Test {
 protected:
  ScanReportTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    device_.MakeFolder(paths_.quarantine_folder);
    VirusDetailRecord alpha, bravo;
    MakeVirusDetailRecord(7, u"Alpha", u"About alpha", u"Delete it", &alpha);
    MakeVirusDetailRecord(8, u"Bravo", u"About bravo", u"Move it", &bravo);
    EXPECT_TRUE(WriteVirusDetails(paths_.virus_details, {alpha, bravo}));
  }

  InfectionRecord Record(std::u16string_view folder, std::u16string_view name, uint32_t virus) {
    return list_.Append(folder, name, 0, virus, kActionNone).record;
  }

  std::vector<std::u16string> Notices() const { return notices_; }
  UserNotice notice() {
    return [this](std::u16string_view text, uint32_t) { notices_.emplace_back(text); };
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  InfectionList list_;
  std::vector<std::u16string> notices_;
};

TEST_F(ScanReportTest, EntriesCarryVirusNamesAndActionsAreCarriedOut) {
  device_.WriteFile(u"\\Docs\\a.exe", "alpha");
  device_.WriteFile(u"\\Docs\\b.txt", "bravo");
  device_.WriteFile(u"\\Card\\b.txt", "bravo too");
  device_.WriteFile(u"\\Docs\\c.txt", "ignored");
  device_.WriteFile(u"\\Docs\\d.txt", "no action");
  std::vector<ReportEntry> entries =
      EntriesFromResults({Record(u"\\Docs", u"a.exe", 7), Record(u"\\Docs", u"b.txt", 8),
                          Record(u"\\Card", u"b.txt", 8), Record(u"\\Docs", u"c.txt", 9),
                          Record(u"\\Docs", u"d.txt", 7)},
                         paths_);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].virus_name, u"Alpha");
  EXPECT_EQ(entries[1].recommendation, u"Move it");
  EXPECT_EQ(entries[3].virus_name, u"") << "an id without details has no name";
  EXPECT_EQ(entries[1].Path(), u"\\Docs\\b.txt");

  entries[0].action = kActionDelete;
  entries[1].action = kActionMove;
  entries[2].action = kActionMove;
  entries[3].action = kActionIgnoreAll;
  CarryOutActions(entries, paths_, notice());
  EXPECT_TRUE(Notices().empty());

  EXPECT_EQ(entries[0].outcome, ActionOutcome::kDeleted);
  EXPECT_FALSE(device_.Exists(u"\\Docs\\a.exe"));
  // Two files of one name from two folders get two repository names.
  EXPECT_EQ(entries[1].outcome, ActionOutcome::kQuarantined);
  EXPECT_EQ(entries[1].quarantined_as, u"\\Program Files\\Kolvar\\Quarantine\\%_Docs%@%b.txt.avq");
  EXPECT_TRUE(device_.Exists(entries[1].quarantined_as));
  EXPECT_TRUE(device_.Exists(u"\\Program Files\\Kolvar\\Quarantine\\%_Card%@%b.txt.avq"));
  EXPECT_FALSE(device_.Exists(u"\\Docs\\b.txt"));
  EXPECT_EQ(entries[3].outcome, ActionOutcome::kIgnored);
  EXPECT_TRUE(device_.Exists(u"\\Docs\\c.txt"));
  EXPECT_EQ(entries[4].outcome, ActionOutcome::kNotActedOn);
  EXPECT_TRUE(device_.Exists(u"\\Docs\\d.txt"));

  std::vector<RepositoryRecord> index;
  ASSERT_TRUE(ReadRepositoryIndex(paths_.repository_index, &index));
  ASSERT_EQ(index.size(), 2u) << "only the moved files are recorded";
  EXPECT_EQ(WideField(index[0].folder), u"\\Docs");
  EXPECT_EQ(WideField(index[0].file_name), u"b.txt");
  EXPECT_EQ(index[0].virus_id, 8u);
  EXPECT_EQ(WideField(index[1].folder), u"\\Card");
}

TEST_F(ScanReportTest, FailedAndCutEntriesAreToldAndNotRecorded) {
  const std::u16string long_folder = u"\\" + std::u16string(140, u'f');
  device_.MakeFolder(u"\\Docs");
  std::vector<ReportEntry> entries =
      EntriesFromResults({Record(u"\\Docs", u"gone.txt", 7), Record(long_folder, u"x.txt", 7),
                          Record(u"\\Docs", u"gone too.txt", 7)},
                         paths_);
  ASSERT_FALSE(entries[1].whole_path);
  for (ReportEntry& entry : entries) entry.action = kActionMove;
  entries[2].action = kActionDelete;
  CarryOutActions(entries, paths_, notice());
  EXPECT_EQ(entries[0].outcome, ActionOutcome::kFailed);
  EXPECT_EQ(entries[1].outcome, ActionOutcome::kNotActedOn);
  EXPECT_EQ(entries[2].outcome, ActionOutcome::kFailed);
  ASSERT_EQ(Notices().size(), 3u);
  EXPECT_EQ(Notices()[0],
            u"The file '\\Docs\\gone.txt' cannot be moved to the repository (error 2: not found).");
  EXPECT_NE(Notices()[1].find(u"is too long for the scan results"), std::u16string::npos);
  EXPECT_EQ(Notices()[2],
            u"The file '\\Docs\\gone too.txt' could not be deleted.(error 2: not found)");
  EXPECT_FALSE(device_.Exists(paths_.repository_index));
}

TEST_F(ScanReportTest, BackgroundOutcomesAreJudgedByWhatIsLeft) {
  DetectionRecord deleted = ZeroRecord<DetectionRecord>();
  SetWideField(deleted.path, u"\\Docs\\gone.exe");
  deleted.virus_id = 7;
  DetectionRecord kept = ZeroRecord<DetectionRecord>();
  SetWideField(kept.path, u"\\kept.exe");
  kept.virus_id = 8;
  device_.WriteFile(u"\\kept.exe", "still here");
  std::vector<ReportEntry> entries = {EntryFromDetection(deleted, paths_),
                                      EntryFromDetection(kept, paths_)};
  EXPECT_EQ(entries[0].folder, u"\\Docs");
  EXPECT_EQ(entries[1].folder, u"\\");
  EXPECT_EQ(entries[1].file_name, u"kept.exe");
  EXPECT_EQ(entries[1].virus_name, u"Bravo");
  entries[0].action = kActionDelete;
  entries[1].action = kActionDelete;
  CarryOutActions(entries, paths_, notice());  // the scanner acts on these, not the report
  EXPECT_TRUE(device_.Exists(u"\\kept.exe"));
  JudgeBackgroundOutcomes(entries, paths_);
  EXPECT_EQ(entries[0].outcome, ActionOutcome::kDeleted);
  EXPECT_EQ(entries[1].outcome, ActionOutcome::kLeftToScanner);
}

}  // namespace
}  // namespace kolvar
