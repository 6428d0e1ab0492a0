#include "metrics/http_exchange.h"

#include "metrics/metrics_text.h"

namespace {

std::string Response(const char* status, const std::string& headers, const std::string& body, bool withBody = true) {
  return std::string("HTTP/1.1 ") + status + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + (withBody ? body : std::string());
}

std::string Failure(const char* status, const std::string& headers = "") {
  return Response(status, headers + "Content-Type: text/plain; charset=utf-8\r\n", std::string(status) + "\n");
}

}  // namespace

std::optional<std::string> AnswerRequest(std::string_view received, const std::string& page) {
  size_t end = received.find("\r\n\r\n");
  if (end == std::string_view::npos) end = received.find("\n\n");  // bare line feeds, as some tools send
  if (end == std::string_view::npos) {
    if (received.size() >= kMaxRequestBytes) return Failure("431 Request Header Fields Too Large");
    return std::nullopt;
  }
  if (end >= kMaxRequestBytes) return Failure("431 Request Header Fields Too Large");

  std::string_view line = received.substr(0, received.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t first = line.find(' '), second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
    return Failure("400 Bad Request");
  }
  std::string_view method = line.substr(0, first);
  std::string_view target = line.substr(first + 1, second - first - 1);
  std::string_view version = line.substr(second + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") {
    return version.rfind("HTTP/", 0) == 0 ? Failure("505 HTTP Version Not Supported") : Failure("400 Bad Request");
  }
  if (target.empty() || target[0] != '/') return Failure("400 Bad Request");
  bool head = method == "HEAD";
  if (method != "GET" && !head) return Failure("405 Method Not Allowed", "Allow: GET, HEAD\r\n");
  if (target.substr(0, target.find('?')) != "/metrics") return Failure("404 Not Found");
  return Response("200 OK", std::string("Content-Type: ") + kMetricsContentType + "\r\n", page, !head);
}
