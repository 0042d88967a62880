// The live progress line keeps to the terminal's width, cutting the path from the left; tables
// align by characters, not bytes.
#include "antivirus/kolvar/progress_line.h"

#include <gtest/gtest.h>

#include "antivirus/kolvar/text_table.h"

namespace kolvar {
namespace {

TEST(ProgressLine, ClockShowsHoursMinutesAndSeconds) {
  EXPECT_EQ(ClockText(0), "00:00:00");
  EXPECT_EQ(ClockText(61999), "00:01:01");
  EXPECT_EQ(ClockText(3600000ull * 123 + 59000), "123:00:59");
}

TEST(ProgressLine, FitsTheWidthAndKeepsTheEndOfThePath) {
  ScanProgress progress;
  progress.files_tested = 12;
  progress.kilobytes_tested = 3456;
  progress.infected_files = 1;
  progress.text = u"\\My Documents\\Letters\\invoice.txt";
  EXPECT_EQ(FormatProgressLine(progress, 5000, 0),
            "00:00:05  12 files  3456 KB  1 infected  \\My Documents\\Letters\\invoice.txt");
  const std::string cut = FormatProgressLine(progress, 5000, 60);
  EXPECT_EQ(cut, "00:00:05  12 files  3456 KB  1 infected  ...ers\\invoice.txt");
  EXPECT_EQ(DisplayLength(cut), 59u) << "the last column stays free";
  EXPECT_EQ(DisplayLength(FormatProgressLine(progress, 5000, 20)), 19u);

  progress.text = u"\\caf\u00E9\\\u00E9t\u00E9\nx";
  const std::string wide = FormatProgressLine(progress, 0, 48);
  EXPECT_EQ(DisplayLength(wide), 47u);
  EXPECT_EQ(wide.find('\n'), std::string::npos) << "control characters never reach the terminal";
}

TEST(TextTable, ColumnsAlignByCharacters) {
  TextTable table;
  table.AddRow({"#", "Name", "Where"});
  table.AddRow({"1", "caf\xC3\xA9.txt", "\\Docs"});
  table.AddRow({"10", "b", ""});
  EXPECT_EQ(table.Render("  "),
            "  #   Name      Where\n"
            "  1   caf\xC3\xA9.txt  \\Docs\n"
            "  10  b\n");
}

}  // namespace
}  // namespace kolvar
