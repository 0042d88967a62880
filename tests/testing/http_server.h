// A real HTTP server for a test: tests/testing/http_server.py under python3, serving one host
// folder on 127.0.0.1 at a port of its own choosing, ending by itself after its lifetime and
// ended by the destructor. Rules make it misbehave for one file (see the script): cut or stop in
// the middle of a file, stall, leave out the length, answer with a status or a redirect.
#ifndef KOLVAR_TESTS_TESTING_HTTP_SERVER_H_
#define KOLVAR_TESTS_TESTING_HTTP_SERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace kolvar::testing {

class TestHttpServer {
 public:
  // Starts the server over `folder` and waits (bounded) until it listens; fails the test (and
  // leaves port() 0) when it does not come up.
  explicit TestHttpServer(std::string folder, double lifetime_seconds = 180);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/" + path.
  std::string Url(const std::string& path = "") const;
  const std::string& folder() const { return folder_; }
  // Replaces the rules (one per line, as the script reads them).
  void SetRules(const std::string& rules) const;
  // The file names asked for so far, in order.
  std::vector<std::string> Requests() const;
  // Whether the server process still runs.
  bool Running();
  void Stop();

 private:
  std::string folder_;
  std::string control_;  // the port file, the rules and the log
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_TESTING_HTTP_SERVER_H_
