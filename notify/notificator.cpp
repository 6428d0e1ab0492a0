#include "notify/notificator.h"

#include "common/platform_services.h"
#include "log/event_log.h"
#include "notify/mail_sender.h"
#include "notify/message_texts.h"
#include "notify/notify_host.h"
#include "notify/program_launcher.h"
#include "notify/webhook_sender.h"
#include "settings/settings.h"

namespace {

// Takes a flag and returns its old value.
bool Take(bool& flag) {
  bool was = flag;
  flag = false;
  return was;
}

}  // namespace

Notificator::Notificator(Settings& settings, EventLog& log, NotifyHost& host, MailSender& mail,
                         WebhookSender& webhook, ProgramLauncher& launcher, const ParameterRecords& records,
                         std::recursive_mutex& recordsLock)
    : settings_(settings),
      log_(log),
      host_(host),
      mail_(mail),
      webhook_(webhook),
      launcher_(launcher),
      records_(records),
      recordsLock_(recordsLock) {}

std::wstring Notificator::MissingReason(int id) {
  std::lock_guard<std::recursive_mutex> hold(recordsLock_);
  return records_[id].missing;
}

std::wstring Notificator::Body(int id, int64_t value, ParameterState state) {
  return BuildBody(settings_, id, value, state, MissingReason(id));
}

int64_t Notificator::LastValue(int id) {
  std::lock_guard<std::recursive_mutex> hold(recordsLock_);
  return records_[id].LastValue();
}

void Notificator::WriteEntry(LogLevel level, const std::wstring& subject, const std::wstring& body,
                             const std::wstring& suffix) {
  log_.WriteLog(level, subject + FlattenBody(body) + suffix);
}

void Notificator::BeginPass(const LocalTime& now) {
  QuietSettings& quiet = settings_.Quiet;
  int32_t pausedUntil = quiet.PausedUntil;
  if (pausedUntil > 0 && pausedUntil <= EpochSeconds(now)) quiet.PausedUntil.compare_exchange_strong(pausedUntil, 0);
  Silence silence = SilenceAt(quiet, now);
  if (silence.held && silence.until != heldUntil_) {
    log_.WriteLog(LogLevel::Info, L"Notifications paused until " + silence.until + L".");
  } else if (!silence.held && held_) {
    log_.WriteLog(LogLevel::Info, L"Notifications resumed.");
  }
  if (silence.held != held_)
    host_.SetTrayIcon(trayIcon_.After(silence.held ? TrayIconEvent::Held : TrayIconEvent::Released,
                                      settings_.Main.HideIcon));
  held_ = silence.held;
  heldUntil_ = silence.held ? silence.until : L"";
  if (!held_) heldLogged_ = {};
}

bool Notificator::Hold(int id, int64_t value) {
  if (!held_) return false;
  if (!heldLogged_[id]) {
    heldLogged_[id] = true;
    WriteEntry(LogLevel::Error, BuildSubject(settings_, id, ParameterState::Error),
               Body(id, value, ParameterState::Error), L" Notifications paused.");
    const UiNotifySettings& ui = settings_.UiNotify;
    if (ui.UIEnabled && (ui.UIBalloon || ui.UITrayIcon))
      host_.SetTrayIcon(trayIcon_.After(TrayIconEvent::Alert, settings_.Main.HideIcon));
  }
  return true;
}

void Notificator::NotifyWarning(int id, int64_t value) {
  if (warningNotified_[id]) return;
  warningNotified_[id] = true;
  WriteEntry(LogLevel::Warning, BuildSubject(settings_, id, ParameterState::Warning),
             Body(id, value, ParameterState::Warning), L"");
}

void Notificator::NotifyUiError(int id, int64_t value) {
  if (uiNotified_[id]) return;
  if (Hold(id, value)) return;
  uiNotified_[id] = true;
  std::wstring subject = BuildSubject(settings_, id, ParameterState::Error);
  std::wstring body = Body(id, value, ParameterState::Error);
  const UiNotifySettings& ui = settings_.UiNotify;
  WriteEntry(LogLevel::Error, subject, body, L" Send tray icon notification.");
  if (ui.UIBalloon) {
    // The balloon changes the icon itself.
    host_.ShowTrayBalloon(subject, body, trayIcon_.After(TrayIconEvent::Alert, settings_.Main.HideIcon), kBalloonError);
  } else if (ui.UITrayIcon) {
    host_.SetTrayIcon(trayIcon_.After(TrayIconEvent::Alert, settings_.Main.HideIcon));
  }
  if (ui.UIPlaySound) host_.PlayInformationSound();
  if (ui.UIWindow) host_.OpenMainWindow();
  if (ui.UIMessageBox) host_.ShowNotificationBox(subject, body, kBoxError);
}

void Notificator::NotifyEMailError(int id, int64_t value) {
  // The flag is set before the attempt: a failed mail is not retried within the episode.
  if (emailNotified_[id]) return;
  if (Hold(id, value)) return;
  emailNotified_[id] = true;
  std::wstring subject = BuildSubject(settings_, id, ParameterState::Error);
  std::wstring body = Body(id, value, ParameterState::Error);
  uint32_t result = SendEMail(subject, body);
  WriteEntry(LogLevel::Error, subject, body,
             result == 0 ? L" Send e-mail notification." : L" E-mail notification failed.");
}

void Notificator::NotifyCustomError(int id, int64_t value) {
  if (customNotified_[id]) return;
  if (Hold(id, value)) return;
  customNotified_[id] = true;
  std::wstring subject = BuildSubject(settings_, id, ParameterState::Error);
  WriteEntry(LogLevel::Error, subject, Body(id, value, ParameterState::Error), L" Send custom notification.");
  if (uint32_t code = launcher_.Open(settings_.CustomNotify); code != 0) {
    std::wstring reason = SystemErrorText(code);
    if (reason.empty()) reason = L"Error " + std::to_wstring(code) + L".";
    log_.WriteLog(LogLevel::Error, subject + L" Custom notification failed: " + reason);
  }
}

bool Notificator::NotifyUiOk(int id) {
  bool was = Take(uiNotified_[id]);
  const UiNotifySettings& ui = settings_.UiNotify;
  if (was && !held_ && settings_.Parameters.enable[id] && ui.UIEnabled && ui.UINotifyAgain) {
    std::wstring subject = BuildSubject(settings_, id, ParameterState::Ok);
    std::wstring body = Body(id, LastValue(id), ParameterState::Ok);
    WriteEntry(LogLevel::Info, subject, body, L"");
    if (ui.UIBalloon) host_.ShowTrayBalloon(subject, body, kIconNone, kBalloonInfo);
    if (ui.UIMessageBox) host_.ShowNotificationBox(subject, body, kBoxReturn);
  }
  return was;
}

bool Notificator::NotifyEMailOk(int id) {
  bool was = Take(emailNotified_[id]);
  const EMailSettings& mail = settings_.EMail;
  if (was && !held_ && settings_.Parameters.enable[id] && mail.EMailEnabled && mail.EMailNotifyAgain) {
    std::wstring subject = BuildSubject(settings_, id, ParameterState::Ok);
    std::wstring body = Body(id, LastValue(id), ParameterState::Ok);
    uint32_t result = SendEMail(subject, body);
    WriteEntry(LogLevel::Info, subject, body,
               result == 0 ? L" Send e-mail notification." : L" E-mail notification failed.");
  }
  return was;
}

void Notificator::NotifyWebhookError(int id, int64_t value) {
  // Like a mail: a failed post is not retried within the episode.
  if (webhookNotified_[id]) return;
  if (Hold(id, value)) return;
  webhookNotified_[id] = true;
  PostWebhook(LogLevel::Error, id, value, ParameterState::Error);
}

bool Notificator::NotifyWebhookOk(int id) {
  bool was = Take(webhookNotified_[id]);
  const WebhookSettings& hook = settings_.Webhook;
  if (was && !held_ && settings_.Parameters.enable[id] && hook.WebhookEnabled && hook.WebhookNotifyAgain) {
    PostWebhook(LogLevel::Info, id, LastValue(id), ParameterState::Ok);
  }
  return was;
}

void Notificator::PostWebhook(LogLevel level, int id, int64_t value, ParameterState state) {
  WebhookMessage message = BuildWebhookMessage(settings_, id, value, state, MissingReason(id));
  HttpPostResult result = webhook_.Send(message, mail_.PassEnd());
  WriteEntry(level, message.subject, message.text,
             result.ok ? L" Send web hook notification." : L" Web hook failed: " + result.reason);
}

bool Notificator::TakeCustomNotified(int id) { return Take(customNotified_[id]); }

void Notificator::NotifyAllRecovered() {
  log_.WriteLog(LogLevel::Info, L"State change from ERROR to OK.");
  host_.SetTrayIcon(trayIcon_.After(TrayIconEvent::AllRecovered, settings_.Main.HideIcon));
}

uint32_t Notificator::SendEMail(const std::wstring& subject, const std::wstring& body) {
  return mail_.Send(subject, body);
}
