#pragma once
// One HTTP POST through the platform's client (WinHTTP on Windows, libcurl
// on Linux): certificates always verified, redirects not followed, the
// answer read up to a small bound and thrown away.
#include <chrono>
#include <string>

namespace Smtp {
class CancelEvent;
}

struct HttpPostRequest {
  std::string url;  // https://…, or http:// to a loopback address only
  std::string contentType;
  std::string body;
  std::chrono::steady_clock::time_point deadline;  // from start to answer
};

struct HttpPostResult {
  bool ok = false;     // a 2xx answer
  int status = 0;      // the HTTP status, 0 when none came
  std::wstring reason; // for a failure: "HTTP 404", "time-out", the system's text; never the URL
};

// Blocks until the answer, the deadline or the cancel event; safe on any
// thread.
HttpPostResult HttpPost(const HttpPostRequest& request, const Smtp::CancelEvent* cancel = nullptr);
