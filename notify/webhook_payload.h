#pragma once
// What a web hook posts: the notification's subject and body, shaped for the
// chosen service.
#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings.h"

// One notification, as the e-mail channel would send it, plus its facts for
// receivers that read fields.
struct WebhookMessage {
  std::wstring computer;
  std::wstring parameter;
  const char* state = "Error";    // "Error", "OK" or "Test"
  std::optional<int64_t> value;   // none for N/A
  std::wstring unit;
  std::optional<int64_t> limit;   // the notification value
  std::string time;               // ISO 8601 with the offset
  std::wstring subject;
  std::wstring text;
};

struct WebhookBody {
  std::string contentType;
  std::string body;
};

WebhookBody BuildWebhookBody(WebhookFormat format, const WebhookMessage& message);
