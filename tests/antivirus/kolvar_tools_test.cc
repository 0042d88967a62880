// kolvar ps and kolvar sysinfo over real processes: a process started for the test is listed with
// its id, name and path; the memory page agrees with /proc/meminfo and with the space of the
// device root's file system; every page prints its rows as text and as JSON.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/antivirus/front_end_test_support.h"

extern char** environ;

namespace kolvar {
namespace {

class KolvarToolsTest : public FrontEndTest {};

// The number that follows `"key": "` in a JSON text, from `from` on (the megabytes of a row).
double MegabytesAfter(const std::string& json, const std::string& key, size_t from) {
  const std::string marker = "\"" + key + "\": \"";
  const size_t at = json.find(marker, from);
  if (at == std::string::npos) return NAN;
  return std::stod(json.substr(at + marker.size()));
}

uint64_t MeminfoKilobytes(const std::string& key) {
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::stoull(line.substr(key.size() + 1));
  }
  return 0;
}

TEST_F(KolvarToolsTest, PsListsAProcessStartedForTheTest) {
  char program[] = "/bin/sleep";
  char seconds[] = "300";
  char* argv[] = {program, seconds, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, program, nullptr, nullptr, argv, environ), 0);
  const std::regex row("(^|\n)" + std::to_string(child) + " +sleep +1 +/\\S*/sleep\n");
  RunResult text;
  // The child may still be between spawn and exec at first.
  for (int tries = 0; tries < 50; ++tries) {
    text = Kolvar({"ps"});
    if (std::regex_search(text.out, row)) break;
  }
  EXPECT_EQ(text.exit_status, 0) << text.err;
  EXPECT_TRUE(text.out.rfind("PID", 0) == 0) << text.out.substr(0, 200);
  EXPECT_TRUE(std::regex_search(text.out, row)) << text.out;
  const RunResult json = Kolvar({"ps", "--json"});
  EXPECT_EQ(json.exit_status, 0) << json.err;
  const std::regex entry(
      "\"pid\": " + std::to_string(child) +
      ",\\s*\"name\": \"sleep\",\\s*\"path\": \"/\\S*/sleep\",\\s*\"threads\": 1");
  EXPECT_TRUE(std::regex_search(json.out, entry)) << json.out.substr(0, 400);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(KolvarToolsTest, SysinfoMemoryAgreesWithMeminfoAndTheFileSystem) {
  // Other programs of a busy machine take and give back memory while kolvar runs: its reading
  // lies between the readings taken before and after it, within 64 MB.
  const double available_before_mb = static_cast<double>(MeminfoKilobytes("MemAvailable")) / 1024;
  const RunResult json = Kolvar({"sysinfo", "memory", "--json"});
  const double available_after_mb = static_cast<double>(MeminfoKilobytes("MemAvailable")) / 1024;
  ASSERT_EQ(json.exit_status, 0) << json.err;
  const size_t programs = json.out.find("\"Memory\": \"Programs:\"");
  const size_t file_system = json.out.find("\"Memory\": \"File System:\"");
  ASSERT_NE(programs, std::string::npos) << json.out;
  ASSERT_NE(file_system, std::string::npos) << json.out;
  const double total_mb = static_cast<double>(MeminfoKilobytes("MemTotal")) / 1024;
  const double lowest_mb = std::min(available_before_mb, available_after_mb) - 64;
  const double highest_mb = std::max(available_before_mb, available_after_mb) + 64;
  EXPECT_NEAR(MegabytesAfter(json.out, "Total", programs), total_mb, 0.01);
  const double free_mb = MegabytesAfter(json.out, "Free", programs);
  EXPECT_GE(free_mb, lowest_mb);
  EXPECT_LE(free_mb, highest_mb);
  const double programs_used_mb = MegabytesAfter(json.out, "Used", programs);
  EXPECT_GE(programs_used_mb, total_mb - highest_mb);
  EXPECT_LE(programs_used_mb, total_mb - lowest_mb);
  // The device root's file system as df shows it (size, used and available space), within what
  // other writers may change meanwhile.
  struct statvfs st;
  ASSERT_EQ(statvfs(device_.root().c_str(), &st), 0);
  const double size_mb = static_cast<double>(st.f_blocks) * st.f_frsize / 1048576;
  const double avail_mb = static_cast<double>(st.f_bavail) * st.f_frsize / 1048576;
  EXPECT_NEAR(MegabytesAfter(json.out, "Total", file_system), size_mb, 0.01);
  const double used_mb = static_cast<double>(st.f_blocks - st.f_bfree) * st.f_frsize / 1048576;
  EXPECT_NEAR(MegabytesAfter(json.out, "Free", file_system), avail_mb, 256);
  EXPECT_NEAR(MegabytesAfter(json.out, "Used", file_system), used_mb, 256);
}

TEST_F(KolvarToolsTest, EveryPagePrintsItsRows) {
  const struct {
    const char* page;
    const char* text_part;
  } cases[] = {{"general", "Platform:"},
               {"memory", "File System:"},
               {"screen", "Technology:"},
               {"fonts", "Font Name"},
               {"battery", "Backup Battery:"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    const RunResult text = Kolvar({"sysinfo", c.page});
    EXPECT_EQ(text.exit_status, 0) << text.err;
    EXPECT_NE(text.out.find(c.text_part), std::string::npos) << text.out;
    const RunResult json = Kolvar({"sysinfo", c.page, "--json"});
    EXPECT_EQ(json.exit_status, 0) << json.err;
    EXPECT_NE(json.out.find(std::string("\"page\": \"") + c.page + "\""), std::string::npos)
        << json.out;
  }
}

}  // namespace
}  // namespace kolvar
