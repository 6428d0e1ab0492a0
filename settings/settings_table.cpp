#include "settings/settings_table.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <limits>

#include "common/utf16.h"

namespace {

std::wstring Indexed(const wchar_t* name, int id) { return name + std::to_wstring(id); }

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  }
  return true;
}

constexpr NumberRange kAnyInt{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
// Narrower than the field's type: a negative period would run the passes
// back to back, and a threshold counts values of a history that holds 1000.
constexpr NumberRange kPeriod{0, std::numeric_limits<int32_t>::max()};
constexpr NumberRange kThreshold{0, 1000};
constexpr NumberRange kPort{0, 65535};
constexpr NumberRange kWebhookFormats{0, kWebhookFormatCount - 1};
constexpr NumberRange kMinuteOfDay{0, 1439};
constexpr NumberRange kPausedUntil{-1, std::numeric_limits<int32_t>::max()};
// A log limit below 1 MB would empty the log at every entry.
constexpr NumberRange kLogMegabytes{1, std::numeric_limits<int32_t>::max()};
// A notification value by parameter, in the catalogue's order: a load in
// percent (processor, disk), whether the process runs, otherwise a count
// that the graph's 32-bit limit line can still show.
constexpr NumberRange kPercent{0, 100}, kRunning{0, 1}, kCount{0, std::numeric_limits<int32_t>::max()};
constexpr std::array<NumberRange, kParameterCount> kNotificationValues = {kPercent, kCount,   kCount, kCount,
                                                                          kPercent, kCount,   kRunning, kCount};

// A text longer than any path or command line Windows takes is a mistake,
// and enough of them would make the settings file too large to read back.
constexpr size_t kMaxTextUnits = 32767;

}  // namespace

std::vector<SettingRef> SettingsTable(Settings& s) {
  InterfaceSettings& i = s.Interface;
  ConnectionSettings& c = s.Connection;
  ParameterSettings& p = s.Parameters;
  UiNotifySettings& u = s.UiNotify;
  EMailSettings& e = s.EMail;
  CustomNotifySettings& n = s.CustomNotify;
  WebhookSettings& w = s.Webhook;
  QuietSettings& q = s.Quiet;
  LogSettings& l = s.Log;
  MainSettings& m = s.Main;
  std::vector<SettingRef> t = {
      {L"Interface\\paramsName", &i.paramsName, kAnyInt},
      {L"Interface\\paramsValue", &i.paramsValue, kAnyInt},
      {L"Interface\\paramsMaxValue", &i.paramsMaxValue, kAnyInt},
      {L"Interface\\paramsState", &i.paramsState, kAnyInt},
      {L"Interface\\logType", &i.logType, kAnyInt},
      {L"Interface\\logTime", &i.logTime, kAnyInt},
      {L"Interface\\logText", &i.logText, kAnyInt},
      {L"Interface\\dlgX", &i.dlgX, kAnyInt},
      {L"Interface\\dlgY", &i.dlgY, kAnyInt},
      {L"Connection\\local", &c.local},
      {L"Connection\\server", &c.server},
      {L"Connection\\user", &c.user},
      {L"Connection\\password", &c.password, {}, true},
      {L"Connection\\period", &c.period, kPeriod},
  };
  for (int id = 0; id < kParameterCount; ++id) {
    t.push_back({Indexed(L"Parameters\\enable", id), &p.enable[id]});
    t.push_back({Indexed(L"Parameters\\notificationValue", id), &p.notificationValue[id], kNotificationValues[id]});
  }
  std::vector<SettingRef> rest = {
      {L"Parameters\\processName", &p.processName},
      {L"Parameters\\networkAdapterName", &p.networkAdapterName},
      {L"Parameters\\diskName", &p.diskName},
      {L"Parameters\\webServerName", &p.webServerName},
      {L"Notifications\\UIEnabled", &u.UIEnabled},
      {L"Notifications\\UINotifyAgain", &u.UINotifyAgain},
      {L"Notifications\\UITrayIcon", &u.UITrayIcon},
      {L"Notifications\\UIBalloon", &u.UIBalloon},
      {L"Notifications\\UIPlaySound", &u.UIPlaySound},
      {L"Notifications\\UIWindow", &u.UIWindow},
      {L"Notifications\\UIMessageBox", &u.UIMessageBox},
      {L"Notifications\\UIThreshold", &u.UIThreshold, kThreshold},
      {L"Notifications\\EMailEnabled", &e.EMailEnabled},
      {L"Notifications\\EMailNotifyAgain", &e.EMailNotifyAgain},
      {L"Notifications\\EMailServer", &e.EMailServer},
      {L"Notifications\\EMailPort", &e.EMailPort, kPort},
      {L"Notifications\\EMailUser", &e.EMailUser},
      {L"Notifications\\EMailUserAddress", &e.EMailUserAddress},
      {L"Notifications\\EMailPassword", &e.EMailPassword, {}, true},
      {L"Notifications\\EMailThreshold", &e.EMailThreshold, kThreshold},
      {L"Notifications\\EMailRecipiend", &e.EMailRecipiend},
      {L"Notifications\\EMailAuth", &e.EMailAuth},
      {L"Notifications\\EMailSSL", &e.EMailSSL},
      {L"Notifications\\CustomEnabled", &n.CustomEnabled},
      {L"Notifications\\CustomNotifyAgain", &n.CustomNotifyAgain},
      {L"Notifications\\CustomFile", &n.CustomFile},
      {L"Notifications\\CustomArg", &n.CustomArg},
      {L"Notifications\\CustomThreshold", &n.CustomThreshold, kThreshold},
      {L"Notifications\\CustomAuth", &n.CustomAuth},
      {L"Notifications\\CustomUser", &n.CustomUser},
      {L"Notifications\\CustomPassword", &n.CustomPassword, {}, true},
      {L"Notifications\\WebhookEnabled", &w.WebhookEnabled},
      {L"Notifications\\WebhookNotifyAgain", &w.WebhookNotifyAgain},
      {L"Notifications\\WebhookURL", &w.WebhookURL, {}, true},
      {L"Notifications\\WebhookFormat", &w.WebhookFormat, kWebhookFormats},
      {L"Notifications\\WebhookThreshold", &w.WebhookThreshold, kThreshold},
      {L"Notifications\\QuietHours", &q.QuietHours},
      {L"Notifications\\QuietFrom", &q.QuietFrom, kMinuteOfDay},
      {L"Notifications\\QuietTo", &q.QuietTo, kMinuteOfDay},
      {L"Notifications\\PausedUntil", &q.PausedUntil, kPausedUntil},
      {L"Log\\SaveLog", &l.SaveLog},
      {L"Log\\Filename", &l.Filename},
      {L"Log\\Details", &l.Details, kAnyInt},
      {L"Log\\ClearLog", &l.ClearLog},
      {L"Log\\LimitSize", &l.LimitSize},
      {L"Log\\MaxSize", &l.MaxSize, kLogMegabytes},
      {L"Main\\RunApp", &m.RunApp},
      {L"Main\\HideIcon", &m.HideIcon},
      {L"Main\\HideSplash", &m.HideSplash},
  };
  t.insert(t.end(), rest.begin(), rest.end());
  return t;
}

const SettingRef* FindSetting(const std::vector<SettingRef>& table, std::wstring_view name) {
  for (const SettingRef& ref : table) {
    if (EqualNoCase(ref.name, name)) return &ref;
  }
  return nullptr;
}

SettingRef RowOf(Settings& settings, SettingField field) {
  std::vector<SettingRef> table = SettingsTable(settings);
  return *std::find_if(table.begin(), table.end(), [&](const SettingRef& ref) { return ref.field == field; });
}

bool ReadBoolText(std::wstring_view text) { return text == L"1"; }

int32_t ReadIntText(std::wstring_view text) {
  return static_cast<int32_t>(std::clamp<int64_t>(ReadDecimal(text), kAnyInt.low, kAnyInt.high));
}

std::string ByteSettingBytes(std::wstring_view text) { return ToUtf8(text); }

std::wstring ByteSettingText(std::string_view bytes) {
  std::wstring text;
  if (FromUtf8(bytes, text)) return text;
  return WidenBytes(bytes);
}

std::wstring SettingText(const SettingRef& ref) {
  struct {
    std::wstring operator()(IntSetting* f) const { return std::to_wstring(f->load()); }
    std::wstring operator()(BoolSetting* f) const { return f->load() ? L"1" : L"0"; }
    std::wstring operator()(std::atomic<uint16_t>* f) const { return std::to_wstring(f->load()); }
    std::wstring operator()(WideSetting* f) const { return f->Get(); }
    std::wstring operator()(ByteSetting* f) const { return ByteSettingText(f->Get()); }
  } visit;
  return std::visit(visit, ref.field);
}

bool SetNumberSetting(const SettingRef& ref, int64_t value, std::wstring_view typed) {
  if (!ref.range || !ref.range->Holds(value)) return false;
  if (auto f = std::get_if<IntSetting*>(&ref.field)) {
    (*f)->store(static_cast<int32_t>(value));
  } else if (auto f = std::get_if<std::atomic<uint16_t>*>(&ref.field)) {
    (*f)->store(static_cast<uint16_t>(value));
  } else if (auto f = std::get_if<WideSetting*>(&ref.field)) {
    // What is stored reads back as the number it stood for.
    bool digits = typed.find_first_not_of(L"0123456789") == std::wstring_view::npos;
    (*f)->Set(digits ? std::wstring(typed) : std::to_wstring(value));
  }
  return true;
}

bool SetSettingFromUser(const SettingRef& ref, const std::wstring& text, std::wstring& error) {
  if (ref.range) {
    // An empty notification value is 0 to the monitor, and the page takes it.
    bool emptyText = text.empty() && std::holds_alternative<WideSetting*>(ref.field);
    std::optional<int64_t> number = emptyText ? 0 : ReadWholeDecimal(text, Sign::Allowed);
    if (!number || !SetNumberSetting(ref, *number, text)) {
      error = L"must be a whole number from " + std::to_wstring(ref.range->low) + L" to " +
              std::to_wstring(ref.range->high) + L", not \"" + text + L"\"";
      return false;
    }
  } else if (auto f = std::get_if<BoolSetting*>(&ref.field)) {
    bool on = EqualNoCase(text, L"1") || EqualNoCase(text, L"true");
    if (!on && !EqualNoCase(text, L"0") && !EqualNoCase(text, L"false")) {
      error = L"not 1, 0, true or false: \"" + text + L"\"";
      return false;
    }
    (*f)->store(on);
  } else if (auto f = std::get_if<WideSetting*>(&ref.field)) {
    if (ToUtf16(text).size() > kMaxTextUnits) {
      error = L"longer than " + std::to_wstring(kMaxTextUnits) + L" characters";
      return false;
    }
    (*f)->Set(text);
  } else if (auto f = std::get_if<ByteSetting*>(&ref.field)) {
    std::string bytes = ByteSettingBytes(text);
    if (bytes.size() > kMaxTextUnits) {
      error = L"longer than " + std::to_wstring(kMaxTextUnits) + L" bytes";
      return false;
    }
    (*f)->Set(std::move(bytes));
  }
  return true;
}
