#pragma once
// The e-mail channel over the program's own SMTP client: one plain-text
// message per call, with the e-mail settings as they are at that moment.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "notify/mail_sender.h"

struct EMailSettings;
namespace Smtp {
class IClient;
}

// How long one mail may take from connecting to QUIT, whatever the server
// does; the mails of one pass share it, so no pass waits longer on mail.
inline constexpr uint32_t kMailDeadlineMs = 60000;

class SmtpMailSender final : public MailSender {
 public:
  explicit SmtpMailSender(const EMailSettings& settings, uint32_t deadlineMs = kMailDeadlineMs)
      : settings_(settings), deadlineMs_(deadlineMs) {}

  // The result of the first step that failed, or 0 (258 when the mail ran
  // past its deadline, or the pass's deadline had passed already). Subject, names and body travel as UTF-8; the whole
  // recipient text is one address.
  uint32_t Send(const std::wstring& subject, const std::wstring& body) override;
  void StartPass() override;
  std::optional<std::chrono::steady_clock::time_point> PassEnd() override;
  // From any thread, when the program ends: the mail in flight fails at once
  // with 1, and so does every later one.
  void Cancel();
  uint32_t DeadlineMs() const { return deadlineMs_; }

 private:
  const EMailSettings& settings_;
  const uint32_t deadlineMs_;
  std::mutex lock_;
  bool cancelled_ = false;           // under lock_
  std::optional<std::chrono::steady_clock::time_point> passEnd_;  // under lock_
  Smtp::IClient* active_ = nullptr;  // the mail in flight; under lock_
};
