#include "metrics/http_exchange.h"

#include <doctest/doctest.h>

TEST_CASE("requests and their answers") {
  const std::string page = "varnalis_threads 1\n";
  struct Case {
    std::string request;
    const char* status;  // null: wait for more
  };
  const Case cases[] = {
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK"},
      {"GET /metrics?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK"},
      {"GET /metrics HTTP/1.1\n\n", "HTTP/1.1 200 OK"},
      {"HEAD /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n", nullptr},
      {"", nullptr},
      {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
      {"GET /metricsx HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
      {"POST /metrics HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 405 Method Not Allowed"},
      {"get /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
      {"GET /metrics HTTP/2.0\r\n\r\n", "HTTP/1.1 505 HTTP Version Not Supported"},
      {"GET /metrics\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET  /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"\x16\x03\x01\x02\xfc\x03\x03 \x01\r\n\r\n", "HTTP/1.1 400 Bad Request"},  // a TLS hello
      {std::string(kMaxRequestBytes, 'x'), "HTTP/1.1 431 Request Header Fields Too Large"},
      {"GET /metrics HTTP/1.1\r\nX: " + std::string(kMaxRequestBytes, 'x') + "\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large"},
  };
  // Connection: close and a true Content-Length on every answer are the fuzzer's invariants.
  for (const Case& c : cases) {
    CAPTURE(c.request);
    auto answer = AnswerRequest(c.request, page);
    REQUIRE(answer.has_value() == (c.status != nullptr));
    if (answer) CHECK(answer->rfind(std::string(c.status) + "\r\n", 0) == 0);
  }
  auto get = AnswerRequest("GET /metrics HTTP/1.1\r\n\r\n", page);
  CHECK(get->find("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n") != std::string::npos);
  CHECK(get->substr(get->size() - page.size()) == page);
  auto head = AnswerRequest("HEAD /metrics HTTP/1.1\r\n\r\n", page);
  CHECK(head->find(page) == std::string::npos);
  CHECK(head->find("\r\nContent-Length: " + std::to_string(page.size()) + "\r\n") != std::string::npos);
  CHECK(AnswerRequest("PUT /metrics HTTP/1.1\r\n\r\n", page)->find("\r\nAllow: GET, HEAD\r\n") != std::string::npos);
}
