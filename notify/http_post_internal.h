#pragma once
// What the WinHTTP and libcurl posts share: the URL as checked before
// anything is sent, the answer's bound, and the words of their reasons.
#include <chrono>
#include <cstddef>
#include <string>

#include "notify/http_post.h"

namespace HttpPostInternal {

// An answer is read this far and no further; the connection is then dropped.
inline constexpr size_t kAnswerBound = 64 * 1024;

struct Target {
  bool secure = false;
  std::string host;  // as written, without the brackets of an IPv6 literal
  unsigned short port = 0;
};

// Empty when the URL may be posted to (target then filled), else why not. A
// reason never quotes the URL: its path and query carry the token.
std::wstring CheckUrl(const std::string& url, Target& target);

// The result of an answer with this status.
HttpPostResult StatusResult(int status);
HttpPostResult Failure(std::wstring reason);

// Once the status and headers are in, the body is only drained: a cut at the
// bound or at the deadline leaves the status to count.
HttpPostResult CutResult(bool headersDone, int status, const wchar_t* otherwise);

// The milliseconds left until deadline, at least 1.
long RemainingMs(std::chrono::steady_clock::time_point deadline);

inline constexpr wchar_t kTimeOut[] = L"time-out";
inline constexpr wchar_t kCancelled[] = L"cancelled";
inline constexpr wchar_t kCannotConnect[] = L"could not connect";
inline constexpr wchar_t kNameNotFound[] = L"the server's name could not be resolved";
inline constexpr wchar_t kUntrusted[] = L"the server's certificate is not trusted";
inline constexpr wchar_t kWrongHost[] = L"the server's certificate is for another host name";
inline constexpr wchar_t kExpired[] = L"the server's certificate has expired or is not yet valid";
inline constexpr wchar_t kTlsFailed[] = L"the secure connection failed";
inline constexpr wchar_t kConnectionLost[] = L"the connection was closed before the answer";

// The platform's post of a checked URL, before its deadline and not cancelled.
HttpPostResult PlatformPost(const HttpPostRequest& request, const Target& target, const Smtp::CancelEvent* cancel);

}  // namespace HttpPostInternal
