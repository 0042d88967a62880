// The front end's command line: every command with its operands and options, and the usage errors.
#include "antivirus/kolvar/command_line.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

TEST(CommandLine, CommandsOperandsAndOptions) {
  const struct {
    std::vector<std::string> arguments;
    FrontEndCommand command;
    std::optional<std::string> folder;
    std::optional<ActionPolicy> action;
    bool quiet, json;
    size_t entry;
  } cases[] = {
      {{}, FrontEndCommand::kHelp, {}, {}, false, false, 0},
      {{"--help"}, FrontEndCommand::kHelp, {}, {}, false, false, 0},
      {{"scan", "-h"}, FrontEndCommand::kHelp, {}, {}, false, false, 0},
      {{"help"}, FrontEndCommand::kHelp, {}, {}, false, false, 0},
      {{"--version"}, FrontEndCommand::kVersion, {}, {}, false, false, 0},
      {{"scan"}, FrontEndCommand::kScan, {}, {}, false, false, 0},
      {{"scan", "\\My Documents", "--json"},
       FrontEndCommand::kScan,
       "\\My Documents",
       {},
       false,
       true,
       0},
      {{"--quiet", "scan", "docs"}, FrontEndCommand::kScan, "docs", {}, true, false, 0},
      {{"scan", "--action=delete"},
       FrontEndCommand::kScan,
       {},
       ActionPolicy::kDelete,
       false,
       false,
       0},
      {{"scan", "--action", "quarantine", "/home"},
       FrontEndCommand::kScan,
       "/home",
       ActionPolicy::kQuarantine,
       false,
       false,
       0},
      {{"scan", "--", "--odd-name"}, FrontEndCommand::kScan, "--odd-name", {}, false, false, 0},
      {{"quarantine", "list", "--json"}, FrontEndCommand::kQuarantineList, {}, {}, false, true, 0},
      {{"quarantine", "restore", "12"},
       FrontEndCommand::kQuarantineRestore,
       {},
       {},
       false,
       false,
       12},
      {{"quarantine", "delete", "1"}, FrontEndCommand::kQuarantineDelete, {}, {}, false, false, 1},
      {{"quarantine", "adopt"}, FrontEndCommand::kQuarantineAdopt, {}, {}, false, false, 0},
      {{"ps"}, FrontEndCommand::kProcesses, {}, {}, false, false, 0},
      {{"ps", "--json"}, FrontEndCommand::kProcesses, {}, {}, false, true, 0},
      {{"sysinfo"}, FrontEndCommand::kSystemInformation, {}, {}, false, false, 0},
      {{"sysinfo", "memory", "--json"},
       FrontEndCommand::kSystemInformation,
       {},
       {},
       false,
       true,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    CommandLine parsed;
    std::string problem;
    ASSERT_TRUE(ParseCommandLine(c.arguments, &parsed, &problem)) << problem;
    EXPECT_EQ(parsed.command, c.command);
    EXPECT_EQ(parsed.folder, c.folder);
    EXPECT_EQ(parsed.action, c.action);
    EXPECT_EQ(parsed.quiet, c.quiet);
    EXPECT_EQ(parsed.json, c.json);
    EXPECT_EQ(parsed.entry, c.entry);
  }
}

TEST(CommandLine, SettingsHistoryAndVirusCommands) {
  const struct {
    std::vector<std::string> arguments;
    FrontEndCommand command;
    std::optional<std::string> key;
    std::optional<std::string> value;
    bool json;
  } cases[] = {
      {{"config"}, FrontEndCommand::kConfig, {}, {}, false},
      {{"config", "AutoStartup"}, FrontEndCommand::kConfig, "AutoStartup", {}, false},
      {{"config", "EnableBckScan", "on"}, FrontEndCommand::kConfig, "EnableBckScan", "on", false},
      {{"history"}, FrontEndCommand::kHistory, {}, {}, false},
      {{"viruses", "--json"}, FrontEndCommand::kViruses, {}, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    CommandLine parsed;
    std::string problem;
    ASSERT_TRUE(ParseCommandLine(c.arguments, &parsed, &problem)) << problem;
    EXPECT_EQ(parsed.command, c.command);
    EXPECT_EQ(parsed.key, c.key);
    EXPECT_EQ(parsed.value, c.value);
    EXPECT_EQ(parsed.json, c.json);
  }
}

TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
  const struct {
    std::vector<std::string> arguments;
    std::string problem_part;
  } cases[] = {
      {{"scan", "--action=sometimes"}, "not 'sometimes'"},
      {{"scan", "--action"}, "--action needs"},
      {{"scan", "a", "b"}, "one folder at most"},
      {{"scan", "--quiet", "--json"}, "exclude each other"},
      {{"scan", "--verbose"}, "unknown option '--verbose'"},
      {{"quarantine"}, "needs list, restore N, delete N or adopt"},
      {{"quarantine", "list", "3"}, "takes no operand"},
      {{"quarantine", "restore"}, "needs the entry's number"},
      {{"quarantine", "restore", "0"}, "needs the entry's number"},
      {{"quarantine", "delete", "-1"}, "unknown option"},
      {{"quarantine", "delete", "2x"}, "needs the entry's number"},
      {{"quarantine", "delete", "1", "--json"}, "--json belongs"},
      {{"quarantine", "adopt", "1"}, "adopt takes no operand"},
      {{"config", "SplashScreen", "1", "2"}, "a setting and a value at most"},
      {{"config", "--json"}, "--json does not go with config"},
      {{"history", "x"}, "history takes no operand"},
      {{"viruses", "--quiet"}, "belong to scan"},
      {{"quarantine", "list", "--action=delete"}, "belong to scan"},
      {{"uninstall"}, "unknown command 'uninstall'"},
      {{"ps", "1"}, "ps takes no operand"},
      {{"ps", "--quiet"}, "belong to scan"},
      {{"sysinfo", "disks"}, "sysinfo takes one page"},
      {{"sysinfo", "memory", "fonts"}, "sysinfo takes one page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    CommandLine parsed;
    std::string problem;
    EXPECT_FALSE(ParseCommandLine(c.arguments, &parsed, &problem));
    EXPECT_NE(problem.find(c.problem_part), std::string::npos) << problem;
  }
}

TEST(CommandLine, SysinfoNamesItsPage) {
  for (const char* page : {"general", "memory", "screen", "fonts", "battery"}) {
    CommandLine parsed;
    std::string problem;
    ASSERT_TRUE(ParseCommandLine({"sysinfo", page}, &parsed, &problem)) << problem;
    EXPECT_EQ(parsed.page, page);
  }
  CommandLine parsed;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine({"sysinfo"}, &parsed, &problem));
  EXPECT_EQ(parsed.page, "general");
}

TEST(CommandLine, TerminalDecidesTheDefaultPolicy) {
  EXPECT_EQ(DefaultActionPolicy(true), ActionPolicy::kAsk);
  EXPECT_EQ(DefaultActionPolicy(false), ActionPolicy::kIgnore);
}

}  // namespace
}  // namespace kolvar
