#pragma once
// The e-mail channel over the program's own SMTP client: one plain-text
// message per call, with the e-mail settings as they are at that moment.
#include <cstdint>
#include <string>

#include "notify/mail_sender.h"

struct EMailSettings;

class SmtpMailSender final : public MailSender {
 public:
  explicit SmtpMailSender(const EMailSettings& settings) : settings_(settings) {}

  // The result of the first step that failed, or 0. Subject, names and body
  // travel as UTF-8; the whole recipient text is one address.
  uint32_t Send(const std::wstring& subject, const std::wstring& body) override;

 private:
  const EMailSettings& settings_;
};
