#pragma once
// The one settings record. Field names are the registry value names. Numbers
// and switches are atomics and texts SharedText, so the pages may change a
// field while the monitor thread reads it.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "settings/shared_text.h"

class Registry;

using WideSetting = SharedText<std::wstring>;
using ByteSetting = SharedText<std::string>;
using IntSetting = std::atomic<int32_t>;
using BoolSetting = std::atomic<bool>;

inline constexpr int kParameterCount = 8;

struct InterfaceSettings {
  IntSetting paramsName{170};
  IntSetting paramsValue{110};
  IntSetting paramsMaxValue{100};
  IntSetting paramsState{75};
  IntSetting logType{70};
  IntSetting logTime{0};  // 0: as wide as a time stamp
  IntSetting logText{250};
  IntSetting dlgX{-1};
  IntSetting dlgY{-1};
};

struct ConnectionSettings {
  BoolSetting local{true};
  WideSetting server;
  WideSetting user;
  WideSetting password;
  IntSetting period{30000};
};

// The connection as it stands now, for work that must neither follow later
// edits nor outlive the settings it came from.
std::shared_ptr<const ConnectionSettings> CopyOf(const ConnectionSettings& connection);

struct LogSettings {
  WideSetting Filename{L"log.txt"};
  BoolSetting SaveLog{true};
  IntSetting Details{0};
  BoolSetting ClearLog{true};
  BoolSetting LimitSize{false};
  IntSetting MaxSize{100};
};

struct UiNotifySettings {
  BoolSetting UIEnabled{true};
  BoolSetting UINotifyAgain{false};
  BoolSetting UITrayIcon{true};
  BoolSetting UIBalloon{true};
  BoolSetting UIPlaySound{false};
  BoolSetting UIWindow{false};
  BoolSetting UIMessageBox{false};
  IntSetting UIThreshold{3};
};

struct EMailSettings {
  BoolSetting EMailEnabled{false};
  BoolSetting EMailNotifyAgain{false};
  ByteSetting EMailServer;
  std::atomic<uint16_t> EMailPort{25};
  BoolSetting EMailAuth{false};
  ByteSetting EMailUser;
  ByteSetting EMailPassword;
  BoolSetting EMailSSL{false};
  ByteSetting EMailUserAddress;
  ByteSetting EMailRecipiend;
  IntSetting EMailThreshold{5};
};

struct CustomNotifySettings {
  BoolSetting CustomEnabled{false};
  BoolSetting CustomNotifyAgain{false};
  WideSetting CustomFile;
  WideSetting CustomArg;
  IntSetting CustomThreshold{10};
  BoolSetting CustomAuth{false};
  WideSetting CustomUser;
  WideSetting CustomPassword;
};

// A fourth channel: one HTTP POST per notification to a chat or push service.
enum class WebhookFormat : int32_t { GenericJson = 0, Slack = 1, Teams = 2, Discord = 3, PlainText = 4 };
inline constexpr int32_t kWebhookFormatCount = 5;

struct WebhookSettings {
  BoolSetting WebhookEnabled{false};
  BoolSetting WebhookNotifyAgain{true};
  WideSetting WebhookURL;  // holds the service's token: never logged or shown
  IntSetting WebhookFormat{0};
  IntSetting WebhookThreshold{5};
};

// Times when only the log and the tray icon hear of errors.
struct QuietSettings {
  BoolSetting QuietHours{false};
  IntSetting QuietFrom{1320};  // minutes after local midnight; the window may cross it
  IntSetting QuietTo{360};
  IntSetting PausedUntil{0};   // seconds since 1970 UTC; 0 not paused, -1 until resumed
};

struct ParameterSettings {
  std::array<BoolSetting, kParameterCount> enable{true, true, false, false, false, false, false, false};
  std::array<WideSetting, kParameterCount> notificationValue{L"95", L"100", L"2000", L"100",
                                                             L"90", L"1000", L"",    L"100"};
  WideSetting processName;
  WideSetting networkAdapterName;
  WideSetting diskName;
  WideSetting webServerName;
};

struct MainSettings {
  BoolSetting RunApp{false};
  BoolSetting HideIcon{false};
  BoolSetting HideSplash{false};
};

struct Settings {
  InterfaceSettings Interface;
  ConnectionSettings Connection;
  LogSettings Log;
  UiNotifySettings UiNotify;
  EMailSettings EMail;
  CustomNotifySettings CustomNotify;
  WebhookSettings Webhook;
  QuietSettings Quiet;
  ParameterSettings Parameters;
  MainSettings Main;

  Settings() = default;
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // False when the store cannot be used; single unreadable values read as
  // empty. error, when given, says why. Afterwards no setting counts as
  // changed.
  bool LoadSettings(Registry& registry, std::wstring* error = nullptr);
  // Writes, under the store's write lock, the settings changed since they
  // were loaded and those missing from the store; a value another program
  // stored meanwhile is kept. False when a write failed or could not be made
  // durable.
  bool SaveSettings(Registry& registry, std::wstring* error = nullptr);

 private:
  std::mutex storeMutex_;  // one load or save at a time
  // Per setting, in table order, its stored form as last loaded or saved;
  // nothing for a record never loaded, whose every value is its own.
  std::vector<std::optional<std::string>> stored_;
};
