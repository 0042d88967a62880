// kvsigtool as a program: build, dump and build again give the same bytes; match prints the
// engine's result for each file; a faulty source is refused with its line; and the sample set
// that the build turned into a database detects what it promises.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

struct ToolRun {
  int status;
  std::string out;
};

// Runs kvsigtool with `args` (shell words, already quoted) and collects its standard output.
ToolRun Kvsigtool(const std::string& args) {
  const std::string command = "'" + testing::BinDir() + "/kvsigtool' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ToolRun run{-1, {}};
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

constexpr char kSource[] = R"(signature 11 | Test.Any | any | 41 4E 59 21
signature 12 | Test.Exe | exe | 45 58 45 21
signature 13 | Test.Tail | txt | 54 41 49 4C 00 00
describe 11 | any file
recommend 11 | delete
describe 12 | programs
recommend 12 | delete
describe 13 | text ending
recommend 13 | delete
)";

class KvsigtoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.MakeFolder(u"\\Sig");
    device_.MakeFolder(u"\\Sig\\again");
    device_.MakeFolder(u"\\Files\\sub");
    device_.WriteFile(u"\\Sig\\source.txt", kSource);
  }
  std::string Host(std::u16string_view path) { return Quote(device_.Host(path)); }
  testing::TestDevice device_;
};

TEST_F(KvsigtoolTest, BuildDumpBuildGivesTheSameFiles) {
  ToolRun run = Kvsigtool("build " + Host(u"\\Sig\\source.txt") + " " + Host(u"\\Sig"));
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string db = device_.ReadFile(u"\\Sig\\KVVirusDB.dat");
  const std::string details = device_.ReadFile(u"\\Sig\\KVVirusDBDet.dat");
  EXPECT_EQ(db.size(), 3 * 332u);
  EXPECT_EQ(details.size(), 3 * 1044u);

  run = Kvsigtool("dump " + Host(u"\\Sig\\KVVirusDB.dat"));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("signature 13 | Test.Tail | txt | 54 41 49 4C 00 00"), std::string::npos)
      << run.out;
  device_.WriteFile(u"\\Sig\\again\\source.txt", run.out);
  run = Kvsigtool("build " + Host(u"\\Sig\\again\\source.txt") + " " + Host(u"\\Sig\\again"));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(device_.ReadFile(u"\\Sig\\again\\KVVirusDB.dat"), db);
  EXPECT_EQ(device_.ReadFile(u"\\Sig\\again\\KVVirusDBDet.dat"), details);
}

TEST_F(KvsigtoolTest, MatchPrintsResultAndIdForEachFile) {
  ASSERT_EQ(Kvsigtool("build " + Host(u"\\Sig\\source.txt") + " " + Host(u"\\Sig")).status, 0);
  device_.WriteFile(u"\\Files\\a.exe", "xxEXE!xx");      // exe signature
  device_.WriteFile(u"\\Files\\b.txt", "..EXE!..");      // not for text files: last tried is 13
  device_.WriteFile(u"\\Files\\c.txt", "ends in TAIL");  // the zeros after the data complete it
  device_.WriteFile(u"\\Files\\sub\\d.gif", "ANY!");     // any-file signature, in a subfolder
  device_.WriteFile(u"\\Files\\e", "nothing");           // no class: only the any-file signature
  const std::string files = device_.Host(u"\\Files");
  ToolRun run = Kvsigtool("match --db " + Host(u"\\Sig\\KVVirusDB.dat") + " " + Quote(files));
  EXPECT_EQ(run.status, 1) << run.out;
  // Files before subfolders; within a folder in listing order, so compare line sets.
  std::multiset<std::string> lines;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  const std::multiset<std::string> expected = {
      "1 12 " + files + "/a.exe", "0 13 " + files + "/b.txt", "1 13 " + files + "/c.txt",
      "0 11 " + files + "/e", "1 11 " + files + "/sub/d.gif"};
  EXPECT_EQ(lines, expected) << run.out;
  EXPECT_EQ(run.out.rfind("/sub/d.gif\n"), run.out.size() - 11);  // the subfolder comes last

  // With several threads the lines are the same, in the same order.
  const ToolRun threaded =
      Kvsigtool("match --db " + Host(u"\\Sig\\KVVirusDB.dat") + " --jobs 3 " + Quote(files));
  EXPECT_EQ(threaded.status, 1);
  EXPECT_EQ(threaded.out, run.out);

  run = Kvsigtool("match --db " + Host(u"\\Sig\\KVVirusDB.dat") + " " + Host(u"\\Files\\e"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "0 11 " + device_.Host(u"\\Files\\e") + "\n");
}

TEST_F(KvsigtoolTest, FaultySourceIsRefusedWithItsLineAndNothingWritten) {
  device_.WriteFile(u"\\Sig\\bad.txt", "# fine\nsignature 1 | A | any | 4G\n");
  const std::string source = device_.Host(u"\\Sig\\bad.txt");
  const ToolRun run = Kvsigtool("build " + Quote(source) + " " + Host(u"\\Sig"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find(source + ":2: pattern: 'G' is not a hexadecimal digit"), std::string::npos)
      << run.out;
  EXPECT_FALSE(device_.Exists(u"\\Sig\\KVVirusDB.dat"));
  EXPECT_EQ(Kvsigtool("").status, 2);
  EXPECT_EQ(Kvsigtool("--help").status, 0);
  EXPECT_EQ(Kvsigtool("dump " + Host(u"\\Sig\\missing.dat")).status, 2);
}

// A damaged database is never passed as sound: dump prints what loaded but exits 2 and says
// why; match refuses a database without a usable signature (every file would read as clean).
TEST_F(KvsigtoolTest, DamagedDatabaseIsToldAndFailsTheTool) {
  ASSERT_EQ(Kvsigtool("build " + Host(u"\\Sig\\source.txt") + " " + Host(u"\\Sig")).status, 0);
  const std::string sound = device_.ReadFile(u"\\Sig\\KVVirusDB.dat");  // three records
  std::string noise(1000, '\0');
  uint32_t seed = 7;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  std::string empty_pattern = sound.substr(0, 332);
  empty_pattern[324] = static_cast<char>(325 % 256);  // the scrambled form of length 0
  const struct {
    const char* what;
    std::string bytes;
    int dump_status;
    int match_status;  // the file tested holds signature 11
    const char* says;
  } kCases[] = {
      {"empty", "", 2, 2, "damaged signature database: the file is empty"},
      {"one byte", sound.substr(0, 1), 2, 2, "1 of 332 bytes), no usable signature"},
      {"331 bytes", sound.substr(0, 331), 2, 2, "331 of 332 bytes), no usable signature"},
      {"random bytes", noise, 2, 2, "no usable signature"},
      {"cut inside the last record", sound.substr(0, 2 * 332 + 10), 2, 1,
       "1 of 3 records skipped (1 cut short at the end of the file, 10 of 332 bytes)"},
      {"an empty pattern first", empty_pattern + sound, 2, 1,
       "1 of 4 records skipped (1 with an empty pattern)"},
      {"sound", sound, 0, 1, nullptr},
  };
  device_.WriteFile(u"\\Files\\any.bin", "xx ANY! xx");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(u"\\Sig\\KVVirusDB.dat", c.bytes);
    const ToolRun dump = Kvsigtool("dump " + Host(u"\\Sig\\KVVirusDB.dat"));
    EXPECT_EQ(dump.status, c.dump_status) << dump.out;
    const ToolRun match =
        Kvsigtool("match --db " + Host(u"\\Sig\\KVVirusDB.dat") + " " + Host(u"\\Files\\any.bin"));
    EXPECT_EQ(match.status, c.match_status) << match.out;
    if (c.says == nullptr) {
      EXPECT_EQ(dump.out.find("damaged"), std::string::npos) << dump.out;
    } else {
      EXPECT_NE(dump.out.find(c.says), std::string::npos) << dump.out;
      EXPECT_NE(match.out.find(c.says), std::string::npos) << match.out;
    }
  }
}

TEST_F(KvsigtoolTest, SampleDatabaseBesideTheProgramsDetectsItsTestFiles) {
  // The EICAR test string, assembled here so that this source file is not itself detected.
  const std::string eicar = std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-" +
                            "ANTIVIRUS-TEST-FILE!$H+H*";
  device_.WriteFile(u"\\Files\\eicar.com", eicar);
  device_.WriteFile(u"\\Files\\tool.EXE", std::string("KOLVAR-SELFTEST-") + "EXE:7d2c41a9");
  device_.WriteFile(u"\\Files\\tool.txt", std::string("KOLVAR-SELFTEST-") + "EXE:7d2c41a9");
  // The database the build wrote beside the programs, installed into this device.
  std::ifstream built(testing::BinDir() + "/KVVirusDB.dat", std::ios::binary);
  ASSERT_TRUE(built.good()) << "the build writes KVVirusDB.dat into " << testing::BinDir();
  std::ostringstream bytes;
  bytes << built.rdbuf();
  device_.WriteFile(u"\\Sig\\KVVirusDB.dat", bytes.str());
  const ToolRun run =
      Kvsigtool("match --db " + Host(u"\\Sig\\KVVirusDB.dat") + " " + Host(u"\\Files\\eicar.com") +
                " " + Host(u"\\Files\\tool.EXE") + " " + Host(u"\\Files\\tool.txt"));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("1 1 " + device_.Host(u"\\Files\\eicar.com")), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("1 1001 " + device_.Host(u"\\Files\\tool.EXE")), std::string::npos);
  EXPECT_NE(run.out.find("0 1003 " + device_.Host(u"\\Files\\tool.txt")), std::string::npos);
}

}  // namespace
}  // namespace kolvar
