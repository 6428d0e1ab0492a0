#include "notify/smtp_mail_sender.h"

#include <algorithm>
#include <list>

#include "common/product.h"
#include "settings/settings.h"
#include "smtp/interfaces.h"

namespace {

constexpr uint32_t kTimeoutMs = 5000;
constexpr unsigned short kUtf8 = 65001;
constexpr uint32_t kLibraryFailure = 1;
constexpr uint32_t kTimedOut = 258;

// The settings are read when the library asks. Each copy stays alive until
// the send ends, so a pointer handed out earlier stays valid even when the
// setting changes while the library still holds it.
class HeldTexts {
 public:
  const char* Hold(std::string text) {
    for (const std::string& held : texts_) {
      if (held == text) return held.c_str();
    }
    return texts_.emplace_back(std::move(text)).c_str();
  }

 private:
  std::list<std::string> texts_;
};

struct ConnectionParams final : Smtp::IConnectionParams {
  ConnectionParams(const EMailSettings& settings, uint32_t deadlineMs) : settings(settings), deadlineMs(deadlineMs) {}

  const char* GetServer() override { return held.Hold(settings.EMailServer.Get()); }
  unsigned short GetPort() override { return settings.EMailPort; }
  bool NeedAuthentication() override { return settings.EMailAuth; }
  const char* GetUserName() override { return held.Hold(settings.EMailUser.Get()); }
  const char* GetPassword() override { return held.Hold(settings.EMailPassword.Get()); }
  bool UseStartTls() override { return settings.EMailSSL; }
  uint32_t GetTimeout() override { return kTimeoutMs; }
  uint32_t GetDeadline() override { return deadlineMs; }

  const EMailSettings& settings;
  const uint32_t deadlineMs;
  HeldTexts held;
};

struct Sender final : Smtp::IAddress {
  explicit Sender(const EMailSettings& settings) : settings(settings) {}

  const wchar_t* GetName() override { return name.c_str(); }
  const char* GetAddress() override { return held.Hold(settings.EMailUserAddress.Get()); }

  const EMailSettings& settings;
  const std::wstring name = kProductName;
  HeldTexts held;
};

struct Recipient final : Smtp::IAddress {
  explicit Recipient(const EMailSettings& settings) : settings(settings) {}

  const wchar_t* GetName() override { return L""; }
  // Not split: a list of addresses is the user's to get right.
  const char* GetAddress() override { return held.Hold(settings.EMailRecipiend.Get()); }

  const EMailSettings& settings;
  HeldTexts held;
};

struct Recipients {
  explicit Recipients(const EMailSettings& settings) : recipient(settings) {}

  uint32_t Count() const { return 1; }
  Recipient& Item(unsigned int) { return recipient; }

  Recipient recipient;
};

struct MessageInfo final : Smtp::IMessageInfo {
  MessageInfo(const EMailSettings& settings, const std::wstring& subject)
      : sender(settings), recipients(settings), subject(subject) {}

  Smtp::IAddress& GetSender() override { return sender; }
  uint32_t GetRecipientCount() override { return recipients.Count(); }
  Smtp::IAddress& GetRecipient(unsigned int index) override { return recipients.Item(index); }
  const wchar_t* GetSubject() override { return subject.c_str(); }

  Sender sender;
  Recipients recipients;
  const std::wstring subject;
};

}  // namespace

void SmtpMailSender::StartPass() {
  std::lock_guard<std::mutex> hold(lock_);
  passEnd_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs_);
}

std::optional<std::chrono::steady_clock::time_point> SmtpMailSender::PassEnd() {
  std::lock_guard<std::mutex> hold(lock_);
  return passEnd_;
}

uint32_t SmtpMailSender::Send(const std::wstring& subject, const std::wstring& body) {
  uint32_t deadlineMs = deadlineMs_;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (passEnd_) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*passEnd_ - std::chrono::steady_clock::now());
      if (left.count() <= 0) return kTimedOut;
      deadlineMs = static_cast<uint32_t>(std::min<int64_t>(left.count(), deadlineMs_));
    }
  }
  ConnectionParams params(settings_, deadlineMs);
  MessageInfo info(settings_, subject);

  Smtp::IClient* client = nullptr;
  uint32_t result = Smtp::CreateClient(&client);
  if (result != 0) return result;
  if (client == nullptr) return kLibraryFailure;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (cancelled_) {
      client->Release();
      return kLibraryFailure;  // what a cancelled wait gives
    }
    active_ = client;
  }

  result = client->Connect(params);
  if (result == 0) result = client->SendText(body.c_str(), info, kUtf8);
  if (result == 0) result = client->EndMessage();
  client->Disconnect(result == 0);  // QUIT only after a clean exchange
  std::lock_guard<std::mutex> hold(lock_);  // Cancel must not reach a released client
  active_ = nullptr;
  client->Release();
  return result;
}

void SmtpMailSender::Cancel() {
  std::lock_guard<std::mutex> hold(lock_);
  cancelled_ = true;
  if (active_ != nullptr) active_->Cancel();
}
