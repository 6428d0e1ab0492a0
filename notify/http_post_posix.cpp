#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "notify/http_post_internal.h"
#include "smtp/cancel_event.h"

namespace HttpPostInternal {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool GlobalInit() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

struct Answer {
  size_t read = 0;
  bool cut = false;          // past the bound: the rest was not read
  bool headersDone = false;  // the final (non-1xx) answer's headers are in
  CURL* easy = nullptr;
};

size_t OnBody(char*, size_t size, size_t count, void* user) {
  auto& answer = *static_cast<Answer*>(user);
  size_t bytes = size * count;
  if (answer.read + bytes > kAnswerBound) {
    answer.cut = true;
    return 0;  // ends the transfer
  }
  answer.read += bytes;
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& answer = *static_cast<Answer*>(user);
  size_t bytes = size * count;
  if (bytes <= 2 && (bytes == 0 || data[0] == '\r' || data[0] == '\n')) {
    long status = 0;
    curl_easy_getinfo(answer.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) answer.headersDone = true;
  }
  return bytes;
}

// libcurl loads the system's bundle; the PEM file named by SSL_CERT_FILE is
// trusted beside it, as the mail channel does.
CURLcode AddCertFile(CURL*, void* sslCtx, void*) {
  const char* certFile = std::getenv("SSL_CERT_FILE");
  if (certFile && *certFile) SSL_CTX_load_verify_locations(static_cast<SSL_CTX*>(sslCtx), certFile, nullptr);
  ERR_clear_error();  // a missing file leaves the system's store alone
  return CURLE_OK;
}

// curl's own words for a failure, never its error buffer: that may quote the URL.
std::wstring ReasonOf(CURLcode code, CURL* easy) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return kTimeOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kNameNotFound;
    case CURLE_COULDNT_CONNECT:
      return kCannotConnect;
    case CURLE_PEER_FAILED_VERIFICATION: {
      long verify = 0;
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      // curl checks the name itself after the chain: a refusal there leaves
      // the chain's result at OK or "unspecified".
      if (verify == X509_V_OK || verify == X509_V_ERR_UNSPECIFIED || verify == X509_V_ERR_HOSTNAME_MISMATCH ||
          verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return kWrongHost;
      if (verify == X509_V_ERR_CERT_HAS_EXPIRED || verify == X509_V_ERR_CERT_NOT_YET_VALID) return kExpired;
      return kUntrusted;
    }
    case CURLE_SSL_CONNECT_ERROR:
      return kTlsFailed;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return kConnectionLost;
    default: {
      const char* text = curl_easy_strerror(code);
      return std::wstring(text, text + std::char_traits<char>::length(text));
    }
  }
}

}  // namespace

HttpPostResult PlatformPost(const HttpPostRequest& request, const Target&, const Smtp::CancelEvent* cancel) {
  if (!GlobalInit()) return Failure(L"the HTTP client could not start");
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) return Failure(L"out of memory");
  std::string contentType = "Content-Type: " + request.contentType;
  curl_slist* headers = curl_slist_append(nullptr, contentType.c_str());
  // No wait for a "100 Continue" that many servers never send.
  std::unique_ptr<curl_slist, ListDeleter> list(headers ? curl_slist_append(headers, "Expect:") : nullptr);
  if (!list) {
    curl_slist_free_all(headers);
    return Failure(L"out of memory");
  }

  Answer answer;
  answer.easy = easy.get();
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_POST, 1L);
  curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
  curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, AddCertFile);
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, RemainingMs(request.deadline));
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &answer);
  if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) return Failure(L"out of memory");

  // The cancel event's pipe is one more descriptor to wait on, so a cancel
  // ends the wait at once.
  curl_waitfd wake{};
  if (cancel && cancel->IsValid()) {
    wake.fd = static_cast<curl_socket_t>(cancel->Native());
    wake.events = CURL_WAIT_POLLIN;
  }
  HttpPostResult result;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = Failure(L"out of memory");
      break;
    }
    if (running == 0) {
      int left = 0;
      CURLMsg* message = curl_multi_info_read(multi.get(), &left);
      CURLcode code = message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_RECV_ERROR;
      long status = 0;
      curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
      if (code == CURLE_OK)
        result = StatusResult(static_cast<int>(status));
      else if (code == CURLE_WRITE_ERROR && answer.cut)
        result = CutResult(answer.headersDone, static_cast<int>(status), kConnectionLost);
      else if (code == CURLE_OPERATION_TIMEDOUT)
        result = CutResult(answer.headersDone, static_cast<int>(status), kTimeOut);
      else
        result = Failure(ReasonOf(code, e));
      break;
    }
    if (cancel && cancel->IsSet()) {
      result = Failure(kCancelled);
      break;
    }
    if (std::chrono::steady_clock::now() >= request.deadline) {
      long status = 0;
      curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
      result = CutResult(answer.headersDone, static_cast<int>(status), kTimeOut);
      break;
    }
    curl_multi_poll(multi.get(), wake.events ? &wake : nullptr, wake.events ? 1 : 0,
                    static_cast<int>(RemainingMs(request.deadline)), nullptr);
  }
  curl_multi_remove_handle(multi.get(), e);
  return result;
}

}  // namespace HttpPostInternal
