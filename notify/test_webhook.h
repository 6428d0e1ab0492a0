#pragma once
// The test message the Notifications page and varnalis-cli test-webhook send.
#include <string>

#include "notify/http_post.h"

struct Settings;

// One message built like the notifications, with the state "Test", posted
// with the web hook settings as they stand. Blocks for up to 30 s.
HttpPostResult SendTestWebhook(const Settings& settings);

// The outcome in words: "Test message sent." or "Test message failed: " and
// the reason.
std::wstring TestWebhookResultText(const HttpPostResult& result);
