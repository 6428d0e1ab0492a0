#pragma once
// Sends one notification mail with the e-mail settings of the moment.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class MailSender {
 public:
  virtual ~MailSender() = default;
  // The mail library's result code: 0 sent, anything else failed.
  virtual uint32_t Send(const std::wstring& subject, const std::wstring& body) = 0;
  // A monitoring pass begins: the mails it sends share one deadline.
  virtual void StartPass() {}
  // When the pass's notifications must be done, once a pass has begun; the
  // web hooks keep to it too.
  virtual std::optional<std::chrono::steady_clock::time_point> PassEnd() { return std::nullopt; }
};
