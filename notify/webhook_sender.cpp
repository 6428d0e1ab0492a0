#include "notify/webhook_sender.h"

#include <algorithm>

#include "common/decimal.h"
#include "common/local_time.h"
#include "common/time_text.h"
#include "common/utf16.h"
#include "notify/message_texts.h"
#include "settings/settings.h"

WebhookMessage BuildWebhookMessage(const Settings& settings, int id, int64_t value, ParameterState state,
                                   const std::wstring& missing, const char* stateName) {
  WebhookMessage m;
  m.computer = settings.Connection.local ? L"Localhost" : settings.Connection.server.Get();
  m.parameter = ParameterDisplayName(id, settings.Parameters);
  m.state = stateName ? stateName : state == ParameterState::Ok ? "OK" : state == ParameterState::Warning ? "Warning" : "Error";
  if (value != kNotAvailable) m.value = value;
  m.unit = ParameterUnit(id);
  m.limit = ReadDecimal(settings.Parameters.notificationValue[id].Get());  // as the monitor reads it
  m.time = FormatIsoTime(CurrentLocalTime());
  m.subject = BuildSubject(settings, id, state);
  m.text = BuildBody(settings, id, value, state, missing);
  return m;
}

WebhookSender::WebhookSender(const WebhookSettings& settings, Post post)
    : settings_(settings), post_(std::move(post)) {
  cancel_.Create();  // without it a post cannot be cut short, but still ends by its deadline
}

HttpPostResult WebhookSender::Send(const WebhookMessage& message, std::optional<Clock::time_point> passEnd) {
  if (cancel_.IsSet()) return {false, 0, L"cancelled"};
  Clock::time_point deadline = Clock::now() + kWebhookDeadline;
  if (passEnd) {
    if (*passEnd <= Clock::now()) return {false, 0, L"no time left in this pass"};
    deadline = std::min(deadline, *passEnd);
  }
  WebhookBody body = BuildWebhookBody(static_cast<WebhookFormat>(settings_.WebhookFormat.load()), message);
  HttpPostRequest request{ToUtf8(settings_.WebhookURL.Get()), std::move(body.contentType), std::move(body.body),
                          deadline};
  return post_(request, cancel_.IsValid() ? &cancel_ : nullptr);
}

void WebhookSender::Cancel() {
  if (cancel_.IsValid()) cancel_.Set();
}
