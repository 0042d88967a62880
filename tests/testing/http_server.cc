// The test's HTTP server; see http_server.h.
#include "tests/testing/http_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kolvar::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

TestHttpServer::TestHttpServer(std::string folder, double lifetime_seconds)
    : folder_(std::move(folder)) {
  std::string pattern = (fs::temp_directory_path() / "kolvar-http-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
    return;
  }
  control_ = pattern;
  const std::string script = std::string(KOLVAR_SOURCE_DIR) + "/tests/testing/http_server.py";
  const std::string port_file = control_ + "/port";
  const std::string rules = control_ + "/rules";
  const std::string log = control_ + "/log";
  const std::string lifetime = std::to_string(lifetime_seconds);
  std::vector<std::string> args = {"python3", script, "--root", folder_, "--port-file", port_file,
                                   "--rules", rules,  "--log",  log,     "--lifetime",  lifetime};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawnp(&pid_, "python3", nullptr, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
    ADD_FAILURE() << "python3 cannot be started";
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = ReadWhole(port_file);
    if (!text.empty()) {
      port_ = std::stoi(text);
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << "the test HTTP server did not come up";
}

TestHttpServer::~TestHttpServer() {
  Stop();
  if (!control_.empty()) {
    std::error_code ec;
    fs::remove_all(control_, ec);
  }
}

std::string TestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

void TestHttpServer::SetRules(const std::string& rules) const {
  const std::string path = control_ + "/rules";
  {
    std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
    out << rules;
  }
  fs::rename(path + ".tmp", path);
}

std::vector<std::string> TestHttpServer::Requests() const {
  std::vector<std::string> names;
  std::istringstream in(ReadWhole(control_ + "/log"));
  for (std::string line; std::getline(in, line);) names.push_back(line);
  return names;
}

bool TestHttpServer::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void TestHttpServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace kolvar::testing
