// STUB, dropped at merge: the real test message comes with the web hook sender.
#include "notify/test_webhook.h"

HttpPostResult SendTestWebhook(const Settings&) { return {false, 0, L"stub"}; }

std::wstring TestWebhookResultText(const HttpPostResult& result) {
  return result.ok ? L"Test message sent." : L"Test message failed: " + result.reason;
}
