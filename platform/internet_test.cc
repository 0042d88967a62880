// The Internet calls against a real HTTP server on 127.0.0.1 (tests/testing/http_server.py).
#include "platform/internet.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/text.h"
#include "tests/testing/http_server.h"

namespace kolvar::platform {
namespace {

namespace fs = std::filesystem;

// Sets or removes an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Pattern(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class InternetTest : public ::testing::Test {
 protected:
  InternetTest()
      : folder_(MakeFolder()),
        server_(folder_),
        no_proxy_("no_proxy", "127.0.0.1,localhost"),
        no_proxy_upper_("NO_PROXY", "127.0.0.1,localhost") {
    Write("small.dat", "hello, update\n");
    Write("big.dat", Pattern(300000));
  }
  ~InternetTest() override {
    server_.Stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  static std::string MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "kolvar-www-XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    return pattern;
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
  }

  std::u16string Url(const std::string& path) { return Utf8ToUtf16Lossy(server_.Url(path)); }

  // Opens a session with the suite's time-outs, or shorter ones.
  void OpenSession(InternetAccess access = InternetAccess::kPreconfigured,
                   uint32_t timeout_ms = 5000) {
    ASSERT_TRUE(session_.Open(u"@KVMOnlineUpdate@", access));
    session_.SetConnectTimeout(timeout_ms);
    session_.SetReceiveTimeout(timeout_ms);
  }

  // Reads the whole body in blocks of `block` bytes; false at the first failing read.
  bool ReadAll(InternetRequest& request, uint32_t block, std::string* body) {
    std::string buffer(block, '\0');
    for (;;) {
      uint32_t read = 0;
      if (!request.Read(buffer.data(), block, &read)) return false;
      if (read == 0) return true;
      body->append(buffer.data(), read);
    }
  }

  std::string folder_;
  testing::TestHttpServer server_;
  ScopedEnvironment no_proxy_;
  ScopedEnvironment no_proxy_upper_;
  InternetSession session_;
};

TEST_F(InternetTest, FileComesWholeInBlocksWithItsLength) {
  OpenSession();
  InternetRequest request;
  ASSERT_TRUE(request.Open(session_, Url("big.dat"))) << request.ErrorText();
  EXPECT_EQ(request.HttpStatus(), 200);
  uint32_t length = 0;
  ASSERT_TRUE(request.ContentLength(&length));
  EXPECT_EQ(length, 300000u);
  std::string body;
  ASSERT_TRUE(ReadAll(request, 2048, &body)) << request.ErrorText();
  EXPECT_TRUE(body == Pattern(300000)) << body.size() << " bytes";
  EXPECT_EQ(server_.Requests(), std::vector<std::string>{"big.dat"});
}

// The device's read fills the caller's buffer unless the body ends first, so one read of a large
// buffer takes a whole small file, and a buffer smaller than the file takes exactly its size.
TEST_F(InternetTest, ReadFillsTheBufferUntilTheBodyEnds) {
  OpenSession();
  server_.SetRules("slow big.dat 5\n");
  InternetRequest request;
  ASSERT_TRUE(request.Open(session_, Url("big.dat")));
  std::string buffer(5000, '\0');
  uint32_t read = 0;
  ASSERT_TRUE(request.Read(buffer.data(), 5000, &read));
  EXPECT_EQ(read, 5000u);
  EXPECT_TRUE(buffer == Pattern(300000).substr(0, 5000));

  InternetRequest small;
  ASSERT_TRUE(small.Open(session_, Url("small.dat")));
  std::string whole(32768, '\0');
  ASSERT_TRUE(small.Read(whole.data(), 32768, &read));
  EXPECT_EQ(whole.substr(0, read), "hello, update\n");
  ASSERT_TRUE(small.Read(whole.data(), 32768, &read));
  EXPECT_EQ(read, 0u);
}

TEST_F(InternetTest, ServerRefusalsFailTheOpen) {
  OpenSession();
  server_.SetRules(
      "status gone.dat 500\nredirect loop.dat /loop.dat\nredirect away.dat ftp://x/\n");
  const struct {
    std::string path;
    uint32_t error;
  } cases[] = {
      {"missing.dat", kErrorHttpStatus},
      {"gone.dat", kErrorHttpStatus},
      {"loop.dat", kErrorHttpRedirectFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    InternetRequest request;
    EXPECT_FALSE(request.Open(session_, Url(c.path)));
    EXPECT_EQ(GetLastError(), c.error) << request.ErrorText();
    EXPECT_FALSE(request.ErrorText().empty());
  }
  // A redirect to another scheme is never followed.
  InternetRequest away;
  EXPECT_FALSE(away.Open(session_, Url("away.dat")));
}

TEST_F(InternetTest, RedirectWithinHttpIsFollowed) {
  OpenSession();
  server_.SetRules("redirect moved.dat /small.dat\n");
  InternetRequest request;
  ASSERT_TRUE(request.Open(session_, Url("moved.dat"))) << request.ErrorText();
  std::string body;
  ASSERT_TRUE(ReadAll(request, 2048, &body));
  EXPECT_EQ(body, "hello, update\n");
}

TEST_F(InternetTest, OnlyHttpUrlsAreOpened) {
  OpenSession();
  for (const char16_t* url : {u"file:///etc/passwd", u"ftp://127.0.0.1/x", u"kvmupdi.dat"}) {
    InternetRequest request;
    EXPECT_FALSE(request.Open(session_, url));
    EXPECT_EQ(GetLastError(), kErrorInternetUnrecognizedScheme);
  }
}

TEST_F(InternetTest, NoServerFailsToConnect) {
  const std::u16string url = Url("small.dat");
  server_.Stop();
  OpenSession();
  InternetRequest request;
  EXPECT_FALSE(request.Open(session_, url));
  EXPECT_EQ(GetLastError(), kErrorInternetCannotConnect) << request.ErrorText();
}

// A server that stops sending in the middle of a file: the bytes that came are read, then the
// read fails, whether the connection is closed, the whole server ends or it just falls silent.
TEST_F(InternetTest, TransferEndingEarlyFailsTheRead) {
  const struct {
    const char* rule;
    uint32_t error;
  } cases[] = {
      {"cut big.dat 10000\n", kErrorInternetConnectionAborted},
      {"stall big.dat 10000\n", kErrorInternetTimeout},
      {"stop big.dat 10000\n", kErrorInternetConnectionAborted},
  };
  OpenSession(InternetAccess::kPreconfigured, 1000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    ASSERT_TRUE(server_.Running());
    server_.SetRules(c.rule);
    InternetRequest request;
    ASSERT_TRUE(request.Open(session_, Url("big.dat"))) << request.ErrorText();
    uint32_t length = 0;
    ASSERT_TRUE(request.ContentLength(&length));
    EXPECT_EQ(length, 300000u);
    std::string body;
    EXPECT_FALSE(ReadAll(request, 2048, &body));
    EXPECT_EQ(GetLastError(), c.error) << request.ErrorText();
    EXPECT_TRUE(body == Pattern(300000).substr(0, 10000)) << body.size() << " bytes";
  }
  // The server closes the connection before its process has ended: give the exit its time.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (server_.Running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(server_.Running());
}

TEST_F(InternetTest, MissingLengthIsReportedAndTheBodyStillReads) {
  OpenSession();
  server_.SetRules("nolength small.dat\n");
  InternetRequest request;
  ASSERT_TRUE(request.Open(session_, Url("small.dat")));
  uint32_t length = 0;
  EXPECT_FALSE(request.ContentLength(&length));
  EXPECT_EQ(GetLastError(), kErrorHttpInvalidServerResponse);
  std::string body;
  ASSERT_TRUE(ReadAll(request, 2048, &body));
  EXPECT_EQ(body, "hello, update\n");
}

// The first two access types take the proxy from the environment; the direct one never does.
TEST_F(InternetTest, DirectAccessIgnoresTheEnvironmentsProxy) {
  ScopedEnvironment proxy("http_proxy", "http://127.0.0.1:9/");
  ScopedEnvironment no_proxy("no_proxy", nullptr);
  ScopedEnvironment no_proxy_upper("NO_PROXY", nullptr);
  const struct {
    InternetAccess access;
    bool reaches;
  } cases[] = {
      {InternetAccess::kPreconfigured, false},
      {InternetAccess::kPreconfiguredNoAutoProxy, false},
      {InternetAccess::kDirect, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.access));
    InternetSession session;
    ASSERT_TRUE(session.Open(u"@KVMOnlineUpdate@", c.access));
    session.SetConnectTimeout(5000);
    session.SetReceiveTimeout(5000);
    InternetRequest request;
    EXPECT_EQ(request.Open(session, Url("small.dat")), c.reaches) << request.ErrorText();
  }
}

}  // namespace
}  // namespace kolvar::platform
