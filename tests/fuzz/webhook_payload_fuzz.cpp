// Arbitrary UTF-16 texts in a notification: every JSON format must stay valid
// JSON that reads back to the texts (lone surrogates as U+FFFD).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf16.h"
#include "notify/webhook_payload.h"
#include "support/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  auto format = static_cast<WebhookFormat>(data[0] % kWebhookFormatCount);
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::wstring text = DecodeUtf16Le(bytes.substr(0, bytes.size() & ~size_t{1}));
  WebhookMessage m;
  size_t half = text.size() / 2;
  m.computer = m.parameter = text.substr(0, half);
  m.subject = text.substr(0, half);
  m.text = text.substr(half);
  m.time = "2026-12-05T15:04:05+01:00";
  WebhookBody body = BuildWebhookBody(format, m);
  if (format == WebhookFormat::PlainText) {
    if (body.body != ToUtf8(m.subject + L"\n\n" + m.text)) std::abort();
    return 0;
  }
  auto json = ParseJson(body.body);
  if (!json) std::abort();
  if (format == WebhookFormat::GenericJson &&
      (json->StringAt({"subject"}) != ToUtf8(m.subject) || json->StringAt({"text"}) != ToUtf8(m.text))) {
    std::abort();
  }
  return 0;
}
