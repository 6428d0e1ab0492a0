#include "notify/test_mail.h"

#include <cwchar>

#include "notify/message_texts.h"
#include "notify/smtp_mail_sender.h"
#include "settings/settings.h"
#include "smtp/interfaces.h"

uint32_t SendTestMail(const Settings& settings) {
  // The texts of a processor error notification, with no measurement behind them.
  SmtpMailSender mail(settings.EMail);
  int id = static_cast<int>(ParameterId::CpuUsage);
  return mail.Send(BuildSubject(settings, id, ParameterState::Error),
                   BuildBody(settings, id, kNotAvailable, ParameterState::Error));
}

std::wstring TestMailResultText(uint32_t code) {
  wchar_t hex[16];
  std::swprintf(hex, 16, L"0x%08X", static_cast<unsigned>(code));
  return (code == 0 ? L"Test mail sent. Result " : L"Test mail failed. Result ") + std::wstring(hex) + L": " +
         Smtp::ResultText(code);
}
