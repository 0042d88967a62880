// The fixture of the front end's tests over real processes: a device image with kolvar, KVBkgScan,
// kvipcsrv and the sample signature set installed in \Program Files\Kolvar, a configuration
// without pacing or background scanning, the message-box log, and a runner that starts kolvar with
// its arguments, feeds its standard input and collects its output and exit status within a bound.
#ifndef KOLVAR_TESTS_ANTIVIRUS_FRONT_END_TEST_SUPPORT_H_
#define KOLVAR_TESTS_ANTIVIRUS_FRONT_END_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/testing/test_device.h"

namespace kolvar {

// Virus ids of the sample signature set.
inline constexpr uint32_t kEicarId = 1;
inline constexpr uint32_t kTestExeId = 1001;
inline constexpr uint32_t kTestTextId = 1003;

// The bytes of a signature of the sample set (signatures/sample_signatures.txt), by virus id.
std::string SignatureBytes(uint32_t virus_id);

struct RunResult {
  int exit_status = -1;  // -1 when it did not end in time (it was killed)
  std::string out;
  std::string err;
};

// A kolvar started without waiting; its standard input is a pipe held by the test.
class RunningKolvar {
 public:
  RunningKolvar(pid_t pid, int input, std::string out_path, std::string err_path);
  ~RunningKolvar();
  RunningKolvar(const RunningKolvar&) = delete;
  RunningKolvar& operator=(const RunningKolvar&) = delete;

  pid_t pid() const { return pid_; }
  void Write(std::string_view text);
  void CloseInput();
  // The output so far.
  std::string Err() const;
  // Waits for the end (killing it after `seconds`).
  RunResult Wait(double seconds = 180);

 private:
  pid_t pid_;
  int input_;
  std::string out_path_;
  std::string err_path_;
  bool ended_ = false;
};

class FrontEndTest : public ::testing::Test {
 protected:
  FrontEndTest();
  ~FrontEndTest() override;

  // Runs kolvar with `arguments` and `input` on its standard input; waits at most `seconds`.
  RunResult Kolvar(const std::vector<std::string>& arguments, const std::string& input = "",
                   double seconds = 180);
  std::unique_ptr<RunningKolvar> StartKolvar(const std::vector<std::string>& arguments);
  // Starts another program of \Program Files\Kolvar (installed by the test) the same way.
  std::unique_ptr<RunningKolvar> StartProgram(const std::string& name,
                                              const std::vector<std::string>& arguments);
  // Runs kolvar with its standard output and error on one pipe, and reads the pipe to its end: a
  // program kolvar started that kept the pipe open would make this wait past kolvar's end (the
  // exit status is -1 then, and the test fails).
  RunResult KolvarThroughPipe(const std::vector<std::string>& arguments, double seconds = 180);

  // Sets a 32-bit value of section CONFIG (nullopt removes it) in the configuration file.
  void SetConfig(const char* key, std::optional<uint32_t> value);

  // The boxes shown so far, as JSON lines of the box log.
  std::vector<std::string> Boxes() const;
  bool HasBox(std::string_view text_part) const;

  // Environment of the started programs in place of the test's own, when set (name -> value;
  // an empty value removes the variable).
  std::map<std::string, std::string> environment_changes_;
  // Host folder of the programs to start in place of the fixture device's own, when set (the
  // programs of another device image).
  std::string program_folder_;
  testing::TestDevice device_;
  std::u16string folder_;  // \Program Files\Kolvar
  std::string box_log_;
  int counter_ = 0;

 private:
  // Starts a program of the installation folder with `input` as its standard input, and output
  // and error either both on the descriptor `output` or, when it is -1, in the two files.
  pid_t Spawn(const std::string& name, const std::vector<std::string>& arguments, int input,
              const std::string& out_path, const std::string& err_path, int output);
};

// Facts of a scan's JSON document, read by Python's json module (an independent parser): one line
// per fact, fields separated by tabs ("exit_status\t1", "infected\t<path>\t<virus>\t<action>\t
// <outcome>", "untested\t<path>\t<reason>", "signature_database\t<damaged>\t<loaded>\t<skipped>\t
// <warning or ->", "started\t<True|False>", "incomplete_reason\t<why>", "signature_usable\t<True|
// False>", ...). Fails the test when the text does not parse.
std::vector<std::string> JsonFacts(const std::string& json_text);
// Field `field` (0 is the kind) of every fact of `kind`.
std::set<std::string> FactsOfKind(const std::vector<std::string>& facts, const std::string& kind,
                                  size_t field);

}  // namespace kolvar

#endif  // KOLVAR_TESTS_ANTIVIRUS_FRONT_END_TEST_SUPPORT_H_
