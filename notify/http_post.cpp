#include "notify/http_post.h"

#include <algorithm>
#include <climits>

#include "notify/http_post_internal.h"
#include "smtp/cancel_event.h"

namespace HttpPostInternal {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), Lower);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 127.x.x.x in four plain decimal parts. Other spellings (127.1, 0x7f...,
// leading zeros read as octal) are refused rather than guessed at.
bool IsLoopbackV4(const std::string& host) {
  int parts = 0;
  size_t at = 0;
  while (at <= host.size()) {
    size_t end = host.find('.', at);
    if (end == std::string::npos) end = host.size();
    std::string part = host.substr(at, end - at);
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit)) return false;
    if (part.size() > 1 && part[0] == '0') return false;
    int value = std::stoi(part);
    if (value > 255 || (parts == 0 && value != 127)) return false;
    ++parts;
    at = end + 1;
  }
  return parts == 4;
}

bool IsLoopback(const std::string& host) {
  std::string lower = LowerText(host);
  return lower == "localhost" || lower == "::1" || lower == "0:0:0:0:0:0:0:1" || IsLoopbackV4(lower);
}

bool IsHostCharacter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x80 || IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '-' || c == '.' || c == '_';
}

bool IsAddressCharacter(char c) {
  return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f') || c == ':' || c == '.';
}

}  // namespace

std::wstring CheckUrl(const std::string& url, Target& target) {
  if (url.empty()) return L"no web hook URL is set";
  if (std::any_of(url.begin(), url.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }))
    return L"the URL holds spaces or control characters";
  std::string lower = LowerText(url.substr(0, 8));
  size_t start;
  if (lower.starts_with("https://")) {
    target.secure = true;
    start = 8;
  } else if (lower.starts_with("http://")) {
    target.secure = false;
    start = 7;
  } else {
    return L"the URL must start with https://";
  }
  size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  // Clients read a user name, a backslash or an escape in the host each their
  // own way: the host checked here must be the one they connect to.
  if (authority.find('@') != std::string::npos) return L"the URL must not hold a user name or password";

  std::string port;
  bool hasPort = false;
  if (authority.starts_with("[")) {
    size_t close = authority.find(']');
    if (close == std::string::npos) return L"the URL's host name is not valid";
    target.host = authority.substr(1, close - 1);
    std::string rest = authority.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return L"the URL's host name is not valid";
    hasPort = !rest.empty();
    if (hasPort) port = rest.substr(1);
    if (target.host.empty() || !std::all_of(target.host.begin(), target.host.end(), IsAddressCharacter))
      return L"the URL's host name is not valid";
  } else {
    size_t colon = authority.find(':');
    target.host = authority.substr(0, colon);
    hasPort = colon != std::string::npos;
    if (hasPort) port = authority.substr(colon + 1);
    if (target.host.empty()) return L"the URL has no host name";
    if (!std::all_of(target.host.begin(), target.host.end(), IsHostCharacter))
      return L"the URL's host name is not valid";
  }
  target.port = target.secure ? 443 : 80;
  if (hasPort) {
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit))
      return L"the URL's port is not valid";
    int value = std::stoi(port);
    if (value < 1 || value > 65535) return L"the URL's port is not valid";
    target.port = static_cast<unsigned short>(value);
  }
  if (!target.secure && !IsLoopback(target.host))
    return L"the URL must start with https:// (http:// is for this computer only: localhost, 127.0.0.1, [::1])";
  return {};
}

HttpPostResult StatusResult(int status) {
  HttpPostResult result;
  result.status = status;
  result.ok = status >= 200 && status <= 299;
  if (!result.ok) result.reason = L"HTTP " + std::to_wstring(status);
  return result;
}

HttpPostResult Failure(std::wstring reason) {
  HttpPostResult result;
  result.reason = std::move(reason);
  return result;
}

HttpPostResult CutResult(bool headersDone, int status, const wchar_t* otherwise) {
  return headersDone && status > 0 ? StatusResult(status) : Failure(otherwise);
}

long RemainingMs(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<long>(std::clamp<long long>(left.count(), 1, INT_MAX));
}

}  // namespace HttpPostInternal

HttpPostResult HttpPost(const HttpPostRequest& request, const Smtp::CancelEvent* cancel) {
  using namespace HttpPostInternal;
  Target target;
  if (std::wstring reason = CheckUrl(request.url, target); !reason.empty()) return Failure(std::move(reason));
  if (cancel && cancel->IsSet()) return Failure(kCancelled);
  if (std::chrono::steady_clock::now() >= request.deadline) return Failure(kTimeOut);
  return PlatformPost(request, target, cancel);
}
