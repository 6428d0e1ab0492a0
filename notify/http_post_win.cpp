#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/platform_services.h"
#include "common/scoped_win.h"
#include "common/utf16.h"
#include "notify/http_post_internal.h"
#include "smtp/cancel_event.h"

namespace HttpPostInternal {
namespace {

using InternetPtr = Scoped<HINTERNET, NullTraits<HINTERNET, WinHttpCloseHandle>>;

std::wstring Widen(const std::string& text) {
  std::wstring wide;
  return FromUtf8(text, wide) ? wide : WidenBytes(text);
}

// What the caller and the worker share. The caller may return at its
// deadline or cancel while the worker still runs: each holds a reference.
struct Post {
  // The worker's own copies.
  std::wstring url;
  std::wstring host;
  std::wstring headers;
  std::string body;
  bool secure = false;
  std::chrono::steady_clock::time_point deadline;

  ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> abandoned{false};
  std::atomic<bool> headersDone{false};
  std::atomic<int> status{0};
  DWORD secureFailure = 0;  // the worker's only: its status callback runs on its thread
  std::mutex lock;
  HttpPostResult result;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context && info && length >= sizeof(DWORD))
    reinterpret_cast<Post*>(context)->secureFailure = *static_cast<DWORD*>(info);
}

std::wstring ReasonOf(DWORD error, DWORD secureFailure) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
      return kTimeOut;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return kNameNotFound;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return kCannotConnect;
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return kConnectionLost;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return kWrongHost;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return kExpired;
    case ERROR_WINHTTP_SECURE_INVALID_CA:
      return kUntrusted;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:  // Wine's word for a refused certificate, without the flags
      if (secureFailure & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) return kWrongHost;
      if (secureFailure & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) return kExpired;
      if (secureFailure != 0) return kUntrusted;
      return kTlsFailed;
    default: {
      std::wstring text = SystemErrorText(error);
      return text.empty() ? L"error " + std::to_wstring(error) : text;
    }
  }
}

// Every step but the first two blocks; the handles' time-outs end each
// within the deadline.
HttpPostResult Send(Post& post) {
  InternetPtr session(WinHttpOpen(L"Varnalis", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session)  // before Windows 8.1
    session.Reset(WinHttpOpen(L"Varnalis", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failure(ReasonOf(GetLastError(), 0));
  int ms = static_cast<int>(RemainingMs(post.deadline));
  WinHttpSetTimeouts(session.Get(), ms, ms, ms, ms);
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;  // a system without TLS 1.3
    if (!WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
      return Failure(ReasonOf(GetLastError(), 0));
  }
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  bool noRedirects = WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);

  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(post.url.c_str(), 0, 0, &parts)) return Failure(L"the URL is not valid");
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  // The host that was checked is the one connected to.
  std::wstring bare = host.size() > 1 && host.front() == L'[' && host.back() == L']' ? host.substr(1, host.size() - 2)
                                                                                    : host;
  if (_wcsicmp(bare.c_str(), post.host.c_str()) != 0) return Failure(L"the URL's host name is not valid");
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  InternetPtr connection(WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
  if (!connection) return Failure(ReasonOf(GetLastError(), 0));
  InternetPtr request(WinHttpOpenRequest(connection.Get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, post.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return Failure(ReasonOf(GetLastError(), 0));
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  noRedirects |= WinHttpSetOption(request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
  if (!noRedirects) return Failure(L"redirects cannot be turned off");
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&post);
  WinHttpSetOption(request.Get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
  WinHttpSetStatusCallback(request.Get(), OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);

  DWORD size = static_cast<DWORD>(post.body.size());
  if (post.abandoned) return Failure(kCancelled);
  if (!WinHttpSendRequest(request.Get(), post.headers.c_str(), static_cast<DWORD>(-1), post.body.data(), size, size,
                          0) ||
      !WinHttpReceiveResponse(request.Get(), nullptr))
    return Failure(ReasonOf(GetLastError(), post.secureFailure));
  DWORD status = 0, length = sizeof status;
  if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &length, WINHTTP_NO_HEADER_INDEX))
    return Failure(ReasonOf(GetLastError(), 0));
  post.status = static_cast<int>(status);
  post.headersDone = true;

  // Drained to the bound and dropped; a read that fails leaves the status to count.
  char buffer[8192];
  for (size_t read = 0; read <= kAnswerBound && !post.abandoned;) {
    DWORD got = 0;
    if (!WinHttpReadData(request.Get(), buffer, sizeof buffer, &got) || got == 0) break;
    read += got;
  }
  return StatusResult(static_cast<int>(status));
}

void Work(const std::shared_ptr<Post>& post) {
  HttpPostResult result = Send(*post);
  {
    std::lock_guard<std::mutex> hold(post->lock);
    post->result = std::move(result);
  }
  SetEvent(post->done.Get());
}

}  // namespace

// The request runs on a worker of its own while the caller waits for it, the
// cancel event and the deadline: closing a request handle from another thread
// does not end a blocked call everywhere (Wine), and a closed handle's value
// may be reused by the next post while the worker is about to call with it.
// So the caller leaves at once and the worker ends by its time-outs.
HttpPostResult PlatformPost(const HttpPostRequest& request, const Target& target, const Smtp::CancelEvent* cancel) {
  auto post = std::make_shared<Post>();
  post->url = Widen(request.url);
  post->host = Widen(target.host);
  post->headers = L"Content-Type: " + Widen(request.contentType);
  post->body = request.body;
  post->secure = target.secure;
  post->deadline = request.deadline;
  if (!post->done) return Failure(ReasonOf(GetLastError(), 0));
  try {
    std::thread(Work, post).detach();
  } catch (const std::system_error&) {
    return Failure(L"no thread could be started for the post");
  }

  HANDLE waits[2] = {post->done.Get(), cancel && cancel->IsValid() ? reinterpret_cast<HANDLE>(cancel->Native())
                                                                   : nullptr};
  DWORD count = waits[1] ? 2 : 1;
  DWORD woke = WaitForMultipleObjects(count, waits, FALSE, static_cast<DWORD>(RemainingMs(request.deadline)));
  if (woke == WAIT_OBJECT_0) {
    std::lock_guard<std::mutex> hold(post->lock);
    return post->result;
  }
  post->abandoned = true;
  if (woke == WAIT_OBJECT_0 + 1) return Failure(kCancelled);
  return CutResult(post->headersDone, post->status, kTimeOut);
}

}  // namespace HttpPostInternal
