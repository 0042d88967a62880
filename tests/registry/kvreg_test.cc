// kvreg run as a person runs it, on a private device per case: it shows what the programs wrote
// through RegistryKey, what it writes the programs read byte for byte, it deletes values and whole
// keys, and every refusal ends with exit code 1 and a message, leaving the registry as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/registry_key.h"
#include "platform/error.h"
#include "platform/registry_store.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

using platform::RegistryHandle;
using platform::RegistryRoot;

struct ToolResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::vector<uint8_t> Sz(std::u16string_view text) {
  std::vector<uint8_t> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

class KvregTest : public ::testing::Test {
 protected:
  // Runs the built kvreg with the device of this case (the environment that TestDevice set).
  ToolResult Run(const std::vector<std::string>& args) {
    const std::string err_file = device_.root() + "/kvreg.err";
    std::string command = ShellQuote(testing::BinDir() + "/kvreg");
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " 2>" + ShellQuote(err_file);
    ToolResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(err_file);
    std::ostringstream text;
    text << err.rdbuf();
    result.err = text.str();
    return result;
  }

  // The service's first start: its key below the company key with three strings, and the boot
  // start value.
  void WriteAsTheService() {
    RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
    ASSERT_TRUE(key.OpenKey(u"Kolvar IPC Service", false, true));
    for (const auto& [name, text] :
         {std::pair<std::u16string, std::u16string>{u"InstallDir", u"\\Program Files\\Kolvar\\"},
          {u"IPCDB", u"\\Windows\\_$kvcipcdb$_"},
          {u"Version", u"1.51"}}) {
      const std::vector<uint8_t> data = Sz(text);
      ASSERT_TRUE(
          key.SetValue(name, platform::kRegSz, data.data(), static_cast<uint32_t>(data.size())));
    }
    ASSERT_TRUE(key.Reset(kRegistryPathRoot, kRegistryRootLocalMachine));
    ASSERT_TRUE(key.OpenKey(u"Init", false, true));
    const std::vector<uint8_t> program = Sz(u"\\Program Files\\Kolvar\\kvipcsrv");
    ASSERT_TRUE(key.SetValue(u"Launch99", platform::kRegSz, program.data(),
                             static_cast<uint32_t>(program.size())));
  }

  testing::TestDevice device_;
};

TEST_F(KvregTest, ShowsWhatTheProgramsWrote) {
  WriteAsTheService();
  ToolResult result =
      Run({"list", "HKEY_CURRENT_USER\\Software\\Kolvar Corp.\\Kolvar IPC Service"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "HKEY_CURRENT_USER\\Software\\Kolvar Corp.\\Kolvar IPC Service\n"
            "    InstallDir    REG_SZ    \\Program Files\\Kolvar\\\n"
            "    IPCDB    REG_SZ    \\Windows\\_$kvcipcdb$_\n"
            "    Version    REG_SZ    1.51\n"
            "\n");
  EXPECT_EQ(result.err, "");

  result = Run({"get", "hkcu\\software\\kolvar corp.\\kolvar ipc service", "VERSION"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "1.51\n");
  result = Run({"get", "HKLM\\Init", "Launch99"});
  EXPECT_EQ(result.out, "\\Program Files\\Kolvar\\kvipcsrv\n");

  result = Run({"list", "-r", "HKCU\\Software\\"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "HKEY_CURRENT_USER\\Software\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Kolvar Corp.\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Kolvar Corp.\\Kolvar IPC Service\n"
            "    InstallDir    REG_SZ    \\Program Files\\Kolvar\\\n"
            "    IPCDB    REG_SZ    \\Windows\\_$kvcipcdb$_\n"
            "    Version    REG_SZ    1.51\n"
            "\n");

  result = Run({"list", "HKLM"});
  EXPECT_EQ(result.out, "HKEY_LOCAL_MACHINE\n\nHKEY_LOCAL_MACHINE\\Init\n");
  result = Run({"list"});
  EXPECT_EQ(result.out, "HKEY_CLASSES_ROOT\nHKEY_CURRENT_USER\nHKEY_LOCAL_MACHINE\nHKEY_USERS\n");
  result = Run({"path"});
  EXPECT_EQ(result.out, device_.Host(u"\\Windows\\registry.db") + "\n");
}

TEST_F(KvregTest, WritesEveryTypeAsTheProgramsReadIt) {
  struct Case {
    std::vector<std::string> type_and_value;
    uint32_t type;
    std::vector<uint8_t> data;
    std::string shown;
  };
  std::vector<uint8_t> multi = Sz(u"a");
  for (uint8_t b : Sz(u"b c")) multi.push_back(b);
  multi.insert(multi.end(), {0, 0});
  const Case cases[] = {
      {{"sz", "1.51"}, platform::kRegSz, Sz(u"1.51"), "1.51"},
      {{"REG_SZ", "\xC3\x84\xCE\xA9 \xE2\x82\xAC"},
       platform::kRegSz,
       Sz(u"\u00C4\u03A9 \u20AC"),
       "\xC3\x84\xCE\xA9 \xE2\x82\xAC"},
      {{"sz", ""}, platform::kRegSz, Sz(u""), ""},
      {{"expand_sz", "%WINDOWS%\\x"}, platform::kRegExpandSz, Sz(u"%WINDOWS%\\x"), "%WINDOWS%\\x"},
      {{"multi_sz", "a", "b c"}, platform::kRegMultiSz, multi, "a\\0b c"},
      {{"dword", "42"}, platform::kRegDword, {42, 0, 0, 0}, "0x0000002a (42)"},
      {{"DWORD", "0xFFFFFFFF"},
       platform::kRegDword,
       {255, 255, 255, 255},
       "0xffffffff (4294967295)"},
      {{"dword_be", "65536"}, platform::kRegDwordBigEndian, {0, 1, 0, 0}, "0x00010000 (65536)"},
      {{"binary", "00 ff:10"}, platform::kRegBinary, {0, 255, 16}, "00ff10"},
      {{"binary"}, platform::kRegBinary, {}, ""},
      {{"0x12345678", "0102"}, 0x12345678, {1, 2}, "0102"},
      {{"none"}, platform::kRegNone, {}, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "v" + std::to_string(n++);
    SCOPED_TRACE(name + " " + c.type_and_value[0]);
    std::vector<std::string> args = {"set", "HKLM\\Types\\Below", name};
    args.insert(args.end(), c.type_and_value.begin(), c.type_and_value.end());
    ToolResult result = Run(args);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");

    RegistryHandle key;
    ASSERT_TRUE(platform::OpenRegistryKey(RegistryRoot::kLocalMachine, u"Types\\Below", &key));
    platform::RegistryValue value;
    ASSERT_TRUE(platform::ReadRegistryValue(key, std::u16string(name.begin(), name.end()), &value));
    EXPECT_EQ(value.type, c.type);
    EXPECT_EQ(value.data, c.data);
    result = Run({"get", "HKLM\\Types\\Below", name});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.shown + "\n");
  }
  // A value written again keeps its place; the default value has the empty name.
  ASSERT_EQ(Run({"set", "HKLM\\Types\\Below", "v0", "dword", "7"}).exit_code, 0);
  ASSERT_EQ(Run({"set", "HKLM\\Types\\Below", "", "sz", "default"}).exit_code, 0);
  const ToolResult listed = Run({"list", "HKLM\\Types\\Below"});
  EXPECT_EQ(listed.out.substr(0, listed.out.find('\n', listed.out.find('\n') + 1) + 1),
            "HKEY_LOCAL_MACHINE\\Types\\Below\n    v0    REG_DWORD    0x00000007 (7)\n");
  EXPECT_NE(listed.out.find("    (Default)    REG_SZ    default\n"), std::string::npos);
}

TEST_F(KvregTest, DeletesValuesAndWholeKeys) {
  WriteAsTheService();
  ASSERT_EQ(
      Run({"set", "HKCU\\Software\\Kolvar Corp.\\Kolvar IPC Service\\A\\B", "x", "dword", "1"})
          .exit_code,
      0);
  ToolResult result = Run({"del", "HKLM\\Init", "launch99"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  RegistryKey key(kRegistryPathRoot, kRegistryRootLocalMachine);
  ASSERT_TRUE(key.OpenKey(u"Init", false, false));
  EXPECT_EQ(key.ValueType(u"Launch99"), -1);

  result = Run({"del", "HKCU\\Software\\Kolvar Corp.\\Kolvar IPC Service"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  RegistryHandle gone;
  EXPECT_FALSE(platform::OpenRegistryKey(RegistryRoot::kCurrentUser,
                                         u"Software\\Kolvar Corp.\\Kolvar IPC Service\\A", &gone));
  EXPECT_TRUE(
      platform::OpenRegistryKey(RegistryRoot::kCurrentUser, u"Software\\Kolvar Corp.", &gone));
  result = Run({"list", "HKCU\\Software\\Kolvar Corp.\\Kolvar IPC Service"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "kvreg: HKEY_CURRENT_USER\\Software\\Kolvar Corp.\\Kolvar IPC Service: not found\n");
}

TEST_F(KvregTest, RefusalsEndWithExitCodeOneAndAMessageAndChangeNothing) {
  WriteAsTheService();
  const std::string before = Run({"list", "-r"}).out;
  ASSERT_NE(before, "");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "kvreg: no command\nusage:"},
      {{"frob"}, "kvreg: unknown command 'frob'\nusage:"},
      {{"get", "HKCU"}, "kvreg: get takes KEY and NAME\n"},
      {{"get", "HKLM\\Init", "Missing"},
       "kvreg: HKEY_LOCAL_MACHINE\\Init value \"Missing\": not found\n"},
      {{"get", "HKLM\\Nowhere", "x"}, "kvreg: HKEY_LOCAL_MACHINE\\Nowhere: not found\n"},
      {{"list", "HKXX\\Software"}, "kvreg: unknown root key 'HKXX'"},
      {{"list", "HKCU", "HKLM"}, "kvreg: list takes at most one KEY\n"},
      {{"set", "HKCU\\N", "v", "dword", "4294967296"}, "kvreg: not a 32-bit number: 4294967296\n"},
      {{"set", "HKCU\\N", "v", "dword", "-1"}, "kvreg: not a 32-bit number: -1\n"},
      {{"set", "HKCU\\N", "v", "binary", "0g"}, "kvreg: not a hexadecimal digit: 'g'\n"},
      {{"set", "HKCU\\N", "v", "binary", "abc"}, "kvreg: hexadecimal bytes need an even number"},
      {{"set", "HKCU\\N", "v", "sz", "a", "b"}, "kvreg: type sz takes exactly one value\n"},
      {{"set", "HKCU\\N", "v", "text", "a"}, "kvreg: unknown value type 'text'"},
      {{"set", "HKCU\\N", "v", "multi_sz", "a", ""}, "kvreg: a multi-string cannot hold an empty"},
      {{"set", "HKCU\\N", "v", "sz", "\xFF"}, "kvreg: not valid UTF-8"},
      {{"set", "HKCU\\" + std::string(256, 'k'), "v", "sz", "a"},
       "kvreg: HKEY_CURRENT_USER\\" + std::string(256, 'k') + ": invalid name or data\n"},
      {{"del", "HKLM"}, "kvreg: HKEY_LOCAL_MACHINE: a root key cannot be deleted\n"},
      {{"del", "HKLM\\Init", "Missing"},
       "kvreg: HKEY_LOCAL_MACHINE\\Init value \"Missing\": not found\n"},
      {{"del", "HKLM\\Nowhere"}, "kvreg: HKEY_LOCAL_MACHINE\\Nowhere: not found\n"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.find(c.message), 0u) << result.err;
  }
  EXPECT_EQ(Run({"list", "-r"}).out, before);
}

TEST_F(KvregTest, DamagedDatabaseIsReportedAndLeftAlone) {
  const std::string garbage(4096, '#');
  device_.WriteFile(u"\\Windows\\registry.db", garbage);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "HKCU"}, {"set", "HKCU\\A", "v", "dword", "1"}}) {
    const ToolResult result = Run(args);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "kvreg: HKEY_CURRENT_USER" + std::string(args[0] == "set" ? "\\A" : "") +
                              ": the registry database is damaged or not a registry\n");
  }
  EXPECT_TRUE(device_.ReadFile(u"\\Windows\\registry.db") == garbage);
}

}  // namespace
}  // namespace kolvar
