#include "notify/test_webhook.h"

#include "notify/webhook_sender.h"
#include "settings/settings.h"

HttpPostResult SendTestWebhook(const Settings& settings) {
  // The texts of a processor error notification, with no measurement behind them.
  WebhookSender sender(settings.Webhook);
  return sender.Send(BuildWebhookMessage(settings, static_cast<int>(ParameterId::CpuUsage), kNotAvailable,
                                         ParameterState::Error, {}, "Test"));
}

std::wstring TestWebhookResultText(const HttpPostResult& result) {
  return result.ok ? L"Test message sent." : L"Test message failed: " + result.reason;
}
