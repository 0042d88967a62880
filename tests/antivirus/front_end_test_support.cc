// The front end tests' fixture and runner; see front_end_test_support.h.
#include "tests/antivirus/front_end_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/path.h"
#include "platform/text.h"

extern char** environ;

namespace kolvar {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The environment for a started program: the test's own with the changes applied.
std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) env.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (!value.empty()) env.push_back(name + "=" + value);
  }
  return env;
}

}  // namespace

std::string SignatureBytes(uint32_t virus_id) {
  std::ifstream in(std::string(KOLVAR_SOURCE_DIR) + "/signatures/sample_signatures.txt");
  std::string line;
  const std::string prefix = "signature " + std::to_string(virus_id) + " ";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    const std::string hex = line.substr(line.rfind('|') + 1);
    std::istringstream words(hex);
    std::string bytes;
    std::string pair;
    while (words >> pair) bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
    return bytes;
  }
  ADD_FAILURE() << "no signature " << virus_id << " in the sample set";
  return {};
}

RunningKolvar::RunningKolvar(pid_t pid, int input, std::string out_path, std::string err_path)
    : pid_(pid), input_(input), out_path_(std::move(out_path)), err_path_(std::move(err_path)) {}

RunningKolvar::~RunningKolvar() {
  CloseInput();
  if (!ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void RunningKolvar::Write(std::string_view text) {
  ASSERT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

void RunningKolvar::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

std::string RunningKolvar::Err() const { return ReadAll(err_path_); }

RunResult RunningKolvar::Wait(double seconds) {
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      ended_ = true;
      result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      ended_ = true;
      ADD_FAILURE() << "kolvar did not end within " << seconds << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  CloseInput();
  result.out = ReadAll(out_path_);
  result.err = ReadAll(err_path_);
  // A sanitizer's report would otherwise pass for exit status 1.
  for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                             "WARNING: ThreadSanitizer"}) {
    EXPECT_EQ(result.err.find(report), std::string::npos) << result.err;
  }
  return result;
}

FrontEndTest::FrontEndTest() {
  folder_ = device_.InstallPrograms(
      {"kolvar", "KVBkgScan", "kvipcsrv", "KVVirusDB.dat", "KVVirusDBDet.dat"});
  box_log_ = device_.root() + "/boxes.log";
  setenv("KOLVAR_MSGBOX_LOG", box_log_.c_str(), 1);
  SetConfig(config_keys::kEnableBckScan, 0);
  SetConfig("ScanPacing", 0);
}

FrontEndTest::~FrontEndTest() { unsetenv("KOLVAR_MSGBOX_LOG"); }

void FrontEndTest::SetConfig(const char* key, std::optional<uint32_t> value) {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/false, &configuration);
  ConfigStore& store = configuration->store();
  if (!value) {
    store.DeleteValue(key, config_keys::kConfig);
  } else {
    const uint32_t number = *value;
    if (!store.SetValue(key, kConfigTypeInteger, sizeof(number), &number, config_keys::kConfig)) {
      ASSERT_TRUE(store.SelectSection(config_keys::kConfig));
      ASSERT_TRUE(store.AddValue(key, kConfigTypeInteger, sizeof(number), &number));
    }
  }
  ASSERT_TRUE(configuration->Save());
}

std::unique_ptr<RunningKolvar> FrontEndTest::StartKolvar(
    const std::vector<std::string>& arguments) {
  return StartProgram("kolvar", arguments);
}

pid_t FrontEndTest::Spawn(const std::string& name, const std::vector<std::string>& arguments,
                          int input, const std::string& out_path, const std::string& err_path,
                          int output) {
  const std::string program =
      (program_folder_.empty() ? device_.Host(folder_) : program_folder_) + "/" + name;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (output >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = EnvironmentWith(environment_changes_);
  std::vector<char*> envp;
  for (std::string& text : env_text) envp.push_back(text.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(rc, 0) << std::strerror(rc);
  return pid;
}

std::unique_ptr<RunningKolvar> FrontEndTest::StartProgram(
    const std::string& name, const std::vector<std::string>& arguments) {
  const int run = ++counter_;
  const std::string out_path = device_.root() + "/run" + std::to_string(run) + ".out";
  const std::string err_path = device_.root() + "/run" + std::to_string(run) + ".err";
  int input[2];
  EXPECT_EQ(pipe2(input, O_CLOEXEC), 0);
  const pid_t pid = Spawn(name, arguments, input[0], out_path, err_path, /*output=*/-1);
  close(input[0]);
  return std::make_unique<RunningKolvar>(pid, input[1], out_path, err_path);
}

RunResult FrontEndTest::KolvarThroughPipe(const std::vector<std::string>& arguments,
                                          double seconds) {
  int output[2];
  EXPECT_EQ(pipe2(output, O_CLOEXEC), 0);
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn("kolvar", arguments, input, "", "", output[1]);
  close(input);
  close(output[1]);
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  bool closed = false;
  while (!closed && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{output[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(output[0], buffer, sizeof(buffer));
    if (got > 0) result.out.append(buffer, static_cast<size_t>(got));
    closed = got == 0;
  }
  close(output[0]);
  int status = 0;
  if (!closed) {
    ADD_FAILURE() << "the output pipe of kolvar did not close within " << seconds << " s";
    kill(pid, SIGKILL);
  }
  waitpid(pid, &status, 0);
  if (closed) result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

RunResult FrontEndTest::Kolvar(const std::vector<std::string>& arguments, const std::string& input,
                               double seconds) {
  std::unique_ptr<RunningKolvar> running = StartKolvar(arguments);
  if (!input.empty()) running->Write(input);
  running->CloseInput();
  return running->Wait(seconds);
}

std::vector<std::string> FrontEndTest::Boxes() const {
  std::vector<std::string> lines;
  std::ifstream in(box_log_);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool FrontEndTest::HasBox(std::string_view text_part) const {
  for (const std::string& line : Boxes()) {
    if (line.find(text_part) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> JsonFacts(const std::string& json_text) {
  char path[] = "/tmp/kolvar-json-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, json_text.data(), json_text.size()), static_cast<ssize_t>(json_text.size()));
  close(fd);
  static constexpr char kScript[] =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
      "for k in ('exit_status','completed','files_tested','infected_files','not_tested_count',"
      "'folder','action_policy'):\n"
      "  print('%s\\t%s'%(k,d[k]))\n"
      "print('started\\t%s'%d['started'])\n"
      "if 'incomplete_reason' in d: print('incomplete_reason\\t%s'%d['incomplete_reason'])\n"
      "s=d['signature_database']\n"
      "print('signature_usable\\t%s'%s['usable'])\n"
      "print('signature_database\\t%s\\t%s\\t%s\\t%s'%(s['damaged'],s['signatures_loaded'],"
      "s['records_skipped'],s.get('warning','-')))\n"
      "for e in d['infected']:\n"
      "  print('infected\\t%s\\t%s\\t%s\\t%s'%(e['path'],e['virus_name'],e['action'],"
      "e['outcome']))\n"
      "for e in d['not_tested']:\n"
      "  print('untested\\t%s\\t%s'%(e['path'],e['reason']))\n";
  const std::string command = "python3 -c \"$KOLVAR_JSON_SCRIPT\" '" + std::string(path) + "' 2>&1";
  setenv("KOLVAR_JSON_SCRIPT", kScript, 1);
  std::vector<std::string> facts;
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr);
  std::string text;
  char buffer[4096];
  size_t got;
  while (pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    text.append(buffer, got);
  const int status = pipe != nullptr ? pclose(pipe) : -1;
  unsetenv("KOLVAR_JSON_SCRIPT");
  unlink(path);
  EXPECT_EQ(status, 0) << "the JSON document does not parse:\n" << text << "\n" << json_text;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) facts.push_back(line);
  return facts;
}

std::set<std::string> FactsOfKind(const std::vector<std::string>& facts, const std::string& kind,
                                  size_t field) {
  std::set<std::string> values;
  for (const std::string& fact : facts) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = fact.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(fact.substr(start, tab - start));
    }
    fields.push_back(fact.substr(start));
    if (fields[0] == kind && fields.size() > field) values.insert(fields[field]);
  }
  return values;
}

}  // namespace kolvar
