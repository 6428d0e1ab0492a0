#pragma once
// A monitoring engine wired to recording doubles of the front end, the mail
// sender and the program launcher, with its log in a fresh folder.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/utf16.h"
#include "log/event_log.h"
#include "monitor/monitor.h"
#include "notify/mail_sender.h"
#include "notify/notify_host.h"
#include "notify/program_launcher.h"
#include "notify/webhook_sender.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "wmi/wmi_table.h"

// Answers from columns the test sets; unknown columns are an invalid class.
class ColumnsWmi final : public WmiTableSource {
 public:
  WmiCode Column(const std::wstring& className, const std::wstring& property,
                 std::vector<WmiValue>& values) override {
    auto it = columns.find({className, property});
    if (it == columns.end()) return kWmiInvalidClass;
    values = it->second;
    return kWmiOk;
  }
  WmiCode ConnectRemote(const std::wstring&) override { return kWmiOk; }
  void Set(const std::wstring& className, const std::wstring& property, std::vector<WmiValue> values) {
    columns[{className, property}] = std::move(values);
  }
  std::map<std::pair<std::wstring, std::wstring>, std::vector<WmiValue>> columns;
};

// Each call as one line of text.
class RecordingHost final : public NotifyHost {
 public:
  void SetTrayIcon(int iconId) override { calls.push_back(L"icon " + std::to_wstring(iconId)); }
  void ShowTrayBalloon(const std::wstring& title, const std::wstring&, int iconId, int kind) override {
    calls.push_back(L"balloon " + title + L" " + std::to_wstring(iconId) + L" " + std::to_wstring(kind));
  }
  void OpenMainWindow() override { calls.push_back(L"window"); }
  void ShowNotificationBox(const std::wstring& subject, const std::wstring&, int kind) override {
    calls.push_back(L"box " + subject + L" " + std::to_wstring(kind));
  }
  void PlayInformationSound() override { calls.push_back(L"sound"); }
  std::vector<std::wstring> calls;
};

class RecordingMail final : public MailSender {
 public:
  uint32_t Send(const std::wstring& subject, const std::wstring&) override {
    subjects.push_back(subject);
    return result;
  }
  std::vector<std::wstring> subjects;
  uint32_t result = 0;
};

class RecordingLauncher final : public ProgramLauncher {
 public:
  uint32_t Open(const CustomNotifySettings& custom) override {
    files.push_back(custom.CustomFile.Get());
    return result;
  }
  std::vector<std::wstring> files;
  uint32_t result = 0;
};

// How many log entries start with the level and contain the text.
inline size_t CountEntries(const std::vector<std::wstring>& entries, const std::wstring& level,
                           const std::wstring& text) {
  size_t n = 0;
  for (const auto& e : entries) n += e.rfind(level + L"\t", 0) == 0 && e.find(text) != std::wstring::npos;
  return n;
}

struct EngineFixture {
  // The counter runs in whole seconds that the test moves on. Without post,
  // the web hook's posts are recorded in posts.
  explicit EngineFixture(WmiSource* source = nullptr, WebhookSender::Post post = {})
      : webhook(settings.Webhook, post ? std::move(post) : [this](const HttpPostRequest& request, const Smtp::CancelEvent*) {
          posts.push_back(request);
          return postResult;
        }),
        monitor(settings, log, source ? *source : wmi, host, mail, webhook, launcher, {[this] { return seconds; }, 1}) {
    settings.Log.Filename.Set(dir.File(L"log.txt"));
    monitor.SetProbePause(std::chrono::microseconds(0));
    monitor.SetWallClock([this] { return now; });
  }

  // The log file's entries as "Level<TAB>text", the time left out.
  std::vector<std::wstring> LogEntries() const {
    std::wstring text = DecodeUtf16Le(ReadBytes(dir.File(L"log.txt")));
    std::vector<std::wstring> entries;
    for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
      std::wstring line = text.substr(start, end - start);
      size_t first = line.find(L'\t');
      entries.push_back(line.substr(0, first + 1) + line.substr(line.find(L'\t', first + 1) + 1));
    }
    return entries;
  }

  // Appends one value per parameter (-2 leaves a parameter out) and evaluates.
  void Pass(std::vector<int64_t> values) {
    PassValues array;
    array.fill(0xFFFFFFFF);
    for (size_t id = 0; id < values.size(); ++id) {
      if (values[id] == -2) continue;
      monitor.Records()[id].AddValue(values[id]);
      array[id] = static_cast<uint32_t>(values[id]);
    }
    monitor.Evaluate(array);
  }

  int64_t seconds = 1000;
  LocalTime now{2026, 12, 7, 12, 0, 0, 60};  // the wall clock quiet hours and pauses are read against
  TempDir dir;
  Settings settings;
  EventLog log{settings.Log};
  ColumnsWmi wmi;
  RecordingHost host;
  RecordingMail mail;
  RecordingLauncher launcher;
  std::vector<HttpPostRequest> posts;
  HttpPostResult postResult{true, 200, L""};  // the recorded posts' answer
  WebhookSender webhook;
  Monitor monitor;
};
