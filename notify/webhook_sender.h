#pragma once
// Sends the web hook channel's notifications with the settings of the moment.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "notify/http_post.h"
#include "notify/webhook_payload.h"
#include "parameters/parameters.h"
#include "smtp/cancel_event.h"

// How long one post may take from start to answer.
inline constexpr std::chrono::seconds kWebhookDeadline{30};

// The facts and texts of one notification, from the same texts the e-mail
// channel sends; state "Test" for the test message.
WebhookMessage BuildWebhookMessage(const Settings& settings, int id, int64_t value, ParameterState state,
                                   const std::wstring& missing = {}, const char* stateName = nullptr);

class WebhookSender {
 public:
  using Post = std::function<HttpPostResult(const HttpPostRequest&, const Smtp::CancelEvent*)>;
  using Clock = std::chrono::steady_clock;

  explicit WebhookSender(const WebhookSettings& settings, Post post = HttpPost);
  WebhookSender(const WebhookSender&) = delete;
  WebhookSender& operator=(const WebhookSender&) = delete;

  // Posts within kWebhookDeadline, cut to passEnd where one is given (the
  // pass's notifications share one deadline).
  HttpPostResult Send(const WebhookMessage& message, std::optional<Clock::time_point> passEnd = std::nullopt);
  // From any thread, when the program ends: the post in flight and every
  // later one fail at once.
  void Cancel();

 private:
  const WebhookSettings& settings_;
  Post post_;
  Smtp::CancelEvent cancel_;
};
