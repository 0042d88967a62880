// The device's Internet calls on libcurl; see internet.h.
//
// The device's calls are a pull model (open, then read as much as the caller wants), libcurl's
// easy interface a push model. One multi handle per request turns it round: the body is kept in a
// buffer that the write callback fills and Read empties, and the transfer is driven only while a
// caller waits for headers or data. The buffer is bounded: past kBufferLimit the callback pauses
// the transfer, and a Read that needs more lets it go on.
#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/error.h"
#include "platform/internet.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

constexpr size_t kBufferLimit = 256 * 1024;
// Longest single wait inside the transfer loop, so that time-outs are noticed.
constexpr int kPollSliceMs = 100;

bool GlobalInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

uint32_t ErrorOfResult(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kErrorInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kErrorInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return kErrorInternetTimeout;
    case CURLE_URL_MALFORMAT:
      return kErrorInternetInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kErrorInternetUnrecognizedScheme;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return kErrorInternetSecurityFailure;
    case CURLE_TOO_MANY_REDIRECTS:
      return kErrorHttpRedirectFailed;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      return kErrorInternetConnectionAborted;
    default:
      return kErrorHttpInvalidServerResponse;
  }
}

using Clock = std::chrono::steady_clock;

}  // namespace

InternetSession::InternetSession() = default;
InternetSession::~InternetSession() = default;

bool InternetSession::Open(std::u16string_view agent, InternetAccess access) {
  if (!GlobalInit()) return Fail(kErrorInternetCannotConnect);
  agent_ = Utf16ToUtf8(agent);
  access_ = access;
  open_ = true;
  return true;
}

struct InternetRequest::Transfer {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  std::string body;  // received and not yet read, from body_start on
  size_t body_start = 0;
  bool paused = false;
  bool headers_done = false;
  bool location_seen = false;  // in the response whose headers come now
  bool finished = false;
  CURLcode result = CURLE_OK;
  long status = 0;
  Clock::time_point last_activity;
  uint32_t receive_timeout_ms = 0;
  std::string error_text;
  char error_buffer[CURL_ERROR_SIZE] = {};

  ~Transfer() {
    if (multi != nullptr && easy != nullptr) curl_multi_remove_handle(multi, easy);
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (headers != nullptr) curl_slist_free_all(headers);
  }

  size_t Buffered() const { return body.size() - body_start; }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    const size_t length = size * count;
    if (self->Buffered() >= kBufferLimit) {
      self->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (self->body_start > 0 && self->body_start == self->body.size()) {
      self->body.clear();
      self->body_start = 0;
    }
    self->body.append(data, length);
    self->last_activity = Clock::now();
    return length;
  }

  // A blank line ends the headers of one response; only a response that is neither interim
  // (1xx) nor a redirect that libcurl follows is the final one.
  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Transfer*>(user);
    const size_t length = size * count;
    self->last_activity = Clock::now();
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
      self->location_seen = false;
    } else if (line.size() >= 9 && strncasecmp(line.data(), "location:", 9) == 0) {
      self->location_seen = true;
    } else if (line == "\r\n" || line == "\n") {
      long code = 0;
      curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &code);
      const bool interim = code < 200 || (code / 100 == 3 && self->location_seen);
      if (!interim) {
        self->status = code;
        self->headers_done = true;
      }
    }
    return length;
  }

  bool SetUp(const InternetSession& session, const std::string& url) {
    easy = curl_easy_init();
    multi = curl_multi_init();
    if (easy == nullptr || multi == nullptr) {
      error_text = "the transfer library cannot be set up";
      return Fail(kErrorInternetCannotConnect);
    }
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent().c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(session.connect_timeout_ms()));
    // An empty proxy name switches proxies off, whatever the environment says.
    if (session.access() == InternetAccess::kDirect) curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    receive_timeout_ms = session.receive_timeout_ms();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      error_text = "the transfer library cannot be set up";
      return Fail(kErrorInternetCannotConnect);
    }
    last_activity = Clock::now();
    return true;
  }

  void CollectEnd() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE) {
        finished = true;
        result = message->data.result;
      }
    }
  }

  bool FailWithResult() {
    error_text = error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(result);
    return Fail(ErrorOfResult(result));
  }

  // Drives the transfer until `done` holds or it ends. `timeout_ms` (0: none) bounds the time
  // without any data from the server; false with kErrorInternetTimeout when it passes.
  template <typename Done>
  bool Pump(Done done, uint32_t timeout_ms, Clock::time_point started) {
    if (paused && Buffered() < kBufferLimit) {
      paused = false;
      curl_easy_pause(easy, CURLPAUSE_CONT);
    }
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        error_text = "the transfer failed";
        return Fail(kErrorHttpInvalidServerResponse);
      }
      CollectEnd();
      if (done() || finished) return true;
      if (paused) {
        // The buffer is full although the caller still waits: never happens with reads of at
        // most kBufferLimit bytes, but must not spin.
        return true;
      }
      const Clock::time_point since = std::max(last_activity, started);
      if (timeout_ms != 0 && Clock::now() - since > std::chrono::milliseconds(timeout_ms)) {
        error_text = "no answer within " + std::to_string(timeout_ms) + " ms";
        return Fail(kErrorInternetTimeout);
      }
      curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr);
    }
  }
};

InternetRequest::InternetRequest() = default;
InternetRequest::~InternetRequest() = default;

bool InternetRequest::Open(const InternetSession& session, std::u16string_view url) {
  Close();
  if (!session.IsOpen()) return Fail(kErrorInvalidHandle);
  auto transfer = std::make_unique<Transfer>();
  const std::string narrow = Utf16ToUtf8(url);
  if (!(narrow.starts_with("http://") || narrow.starts_with("https://"))) {
    transfer->error_text = "not an http:// or https:// URL";
    transfer_ = std::move(transfer);
    return Fail(kErrorInternetUnrecognizedScheme);
  }
  if (!transfer->SetUp(session, narrow)) {
    transfer_ = std::move(transfer);
    return false;
  }
  // The connect time-out is libcurl's; the answer must then come within the receive time-out.
  const uint32_t wait_ms = session.receive_timeout_ms() == 0
                               ? 0
                               : session.connect_timeout_ms() + session.receive_timeout_ms();
  Transfer& t = *transfer;
  transfer_ = std::move(transfer);
  if (!t.Pump([&t] { return t.headers_done; }, wait_ms, Clock::now())) return false;
  if (!t.headers_done) {
    if (t.result != CURLE_OK) return t.FailWithResult();
    t.error_text = "the server sent no answer";
    return Fail(kErrorHttpInvalidServerResponse);
  }
  if (t.status < 200 || t.status > 299) {
    t.error_text = "HTTP status " + std::to_string(t.status);
    return Fail(kErrorHttpStatus);
  }
  return true;
}

bool InternetRequest::IsOpen() const { return transfer_ != nullptr && transfer_->headers_done; }

bool InternetRequest::ContentLength(uint32_t* length) {
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  curl_off_t value = -1;
  if (curl_easy_getinfo(transfer_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) != CURLE_OK ||
      value < 0 || value > static_cast<curl_off_t>(UINT32_MAX)) {
    transfer_->error_text = "the server gave no content length";
    return Fail(kErrorHttpInvalidServerResponse);
  }
  *length = static_cast<uint32_t>(value);
  return true;
}

bool InternetRequest::Read(void* buffer, uint32_t length, uint32_t* read) {
  *read = 0;
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  Transfer& t = *transfer_;
  const size_t wanted = std::min<size_t>(length, kBufferLimit);
  if (t.Buffered() < wanted && !t.finished) {
    // Bytes that came before a failure are handed out first; the next read reports it.
    if (!t.Pump([&t, wanted] { return t.Buffered() >= wanted; }, t.receive_timeout_ms,
                Clock::now()) &&
        t.Buffered() == 0) {
      return false;
    }
  }
  const size_t take = std::min<size_t>(wanted, t.Buffered());
  if (take == 0 && t.finished && t.result != CURLE_OK) return t.FailWithResult();
  std::memcpy(buffer, t.body.data() + t.body_start, take);
  t.body_start += take;
  *read = static_cast<uint32_t>(take);
  return true;
}

long InternetRequest::HttpStatus() const { return transfer_ ? transfer_->status : 0; }

const std::string& InternetRequest::ErrorText() const {
  static const std::string kNone;
  return transfer_ ? transfer_->error_text : kNone;
}

void InternetRequest::Close() { transfer_.reset(); }

}  // namespace kolvar::platform
