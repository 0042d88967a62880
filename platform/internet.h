// The device's Internet calls, as the update client uses them: open a session with an agent name
// and an access type, set its connect and receive time-outs, open a URL (the request is sent and
// the response's headers are read), ask for the content length, read the body in pieces, close.
// HTTP and HTTPS only (HTTPS checks the server against the system's CA store); a proxy comes from
// the environment (http_proxy, https_proxy, no_proxy) except for a direct session.
//
// Unlike the device's calls, an answer other than 2xx fails the open (the device would hand the
// server's error page over as if it were the file), and redirects are followed at most
// kMaxRedirects times and only to HTTP or HTTPS URLs.
//
// Failures return false and set the device's last error to one of the Internet error values
// below; ErrorText() of the object adds what the transfer library or the server said.
#ifndef KOLVAR_PLATFORM_INTERNET_H_
#define KOLVAR_PLATFORM_INTERNET_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kolvar::platform {

// The device's Internet error values.
inline constexpr uint32_t kErrorInternetTimeout = 12002;
inline constexpr uint32_t kErrorInternetInvalidUrl = 12005;
inline constexpr uint32_t kErrorInternetUnrecognizedScheme = 12006;
inline constexpr uint32_t kErrorInternetNameNotResolved = 12007;
inline constexpr uint32_t kErrorInternetCannotConnect = 12029;
inline constexpr uint32_t kErrorInternetConnectionAborted = 12030;
inline constexpr uint32_t kErrorInternetSecurityFailure = 12045;  // the certificate is not trusted
inline constexpr uint32_t kErrorHttpInvalidServerResponse = 12152;
inline constexpr uint32_t kErrorHttpRedirectFailed = 12156;
// Not the device's: the server answered with a status other than 2xx (HttpStatus() tells which).
inline constexpr uint32_t kErrorHttpStatus = 12200;

inline constexpr int kMaxRedirects = 5;

// How a session reaches the network (the device's three access types).
enum class InternetAccess {
  kPreconfigured,             // the system's settings: the environment's proxy
  kPreconfiguredNoAutoProxy,  // the same without proxy auto-detection (none exists here)
  kDirect,                    // no proxy at all
};

class InternetSession {
 public:
  InternetSession();
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // False when the transfer library cannot be set up.
  bool Open(std::u16string_view agent, InternetAccess access);
  bool IsOpen() const { return open_; }
  void Close() { open_ = false; }

  // Milliseconds; 0 means no limit. The receive time-out bounds every wait for data (the
  // response's headers after the request, each piece of the body).
  void SetConnectTimeout(uint32_t milliseconds) { connect_timeout_ms_ = milliseconds; }
  void SetReceiveTimeout(uint32_t milliseconds) { receive_timeout_ms_ = milliseconds; }

  const std::string& agent() const { return agent_; }
  InternetAccess access() const { return access_; }
  uint32_t connect_timeout_ms() const { return connect_timeout_ms_; }
  uint32_t receive_timeout_ms() const { return receive_timeout_ms_; }

 private:
  bool open_ = false;
  std::string agent_;
  InternetAccess access_ = InternetAccess::kPreconfigured;
  uint32_t connect_timeout_ms_ = 60000;
  uint32_t receive_timeout_ms_ = 60000;
};

// One request: always fetched anew (no cache is read or written, "Pragma: no-cache").
class InternetRequest {
 public:
  InternetRequest();
  ~InternetRequest();
  InternetRequest(const InternetRequest&) = delete;
  InternetRequest& operator=(const InternetRequest&) = delete;

  // Sends a GET for `url` and waits for the final response's headers. The session must stay open
  // while the request is used.
  bool Open(const InternetSession& session, std::u16string_view url);
  bool IsOpen() const;
  // The Content-Length of the response; false with kErrorHttpInvalidServerResponse when the
  // server gave none (or one that does not fit into 32 bits).
  bool ContentLength(uint32_t* length);
  // Reads up to `length` bytes of the body; *read is 0 only at its end. Fails with
  // kErrorInternetTimeout when no data came within the receive time-out, and with
  // kErrorInternetConnectionAborted when the connection ended before the announced length.
  bool Read(void* buffer, uint32_t length, uint32_t* read);
  // The HTTP status of the final response (0 before one came).
  long HttpStatus() const;
  // What went wrong last, in words ("connection refused", "HTTP status 404").
  const std::string& ErrorText() const;
  void Close();

 private:
  struct Transfer;
  std::unique_ptr<Transfer> transfer_;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_INTERNET_H_
