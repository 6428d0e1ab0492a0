// Arbitrary bytes as what a scraper sent: every answer is a whole HTTP/1.1
// response that closes the connection, and no request waits for more once it
// is complete or too large.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "metrics/http_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string page = "varnalis_threads 1\n";
  auto answer = AnswerRequest(bytes, page);
  bool headerEnds = bytes.find("\r\n\r\n") != std::string_view::npos || bytes.find("\n\n") != std::string_view::npos;
  if (!answer) {
    if (headerEnds || size >= kMaxRequestBytes) std::abort();
    return 0;
  }
  if (answer->rfind("HTTP/1.1 ", 0) != 0 || answer->find("\r\nConnection: close\r\n") == std::string::npos) std::abort();
  size_t end = answer->find("\r\n\r\n");
  size_t length = answer->find("\r\nContent-Length: ");
  if (end == std::string::npos || length == std::string::npos || length > end) std::abort();
  bool head = answer->rfind("HTTP/1.1 200 ", 0) == 0 && answer->size() == end + 4;
  if (!head && std::stoul(answer->substr(length + 18)) != answer->size() - end - 4) std::abort();
  return 0;
}
