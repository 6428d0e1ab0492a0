#include "settings/settings_table.h"

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

// Whole optional sign and digits, within [low, high].
bool ParseStrictInt(std::wstring_view text, int64_t low, int64_t high, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    v = v * 10 + (text[i] - L'0');
    if (v > (int64_t{1} << 40)) return false;  // far beyond any range asked for
  }
  v = negative ? -v : v;
  if (v < low || v > high) return false;
  value = v;
  return true;
}

// Narrower than the field's type: a negative period would run the passes
// back to back, and a threshold counts values of a history that holds 1000.
struct NumberRange {
  const wchar_t* name;
  int64_t low, high;
};
constexpr NumberRange kRanges[] = {
    {L"Connection\\period", 0, std::numeric_limits<int32_t>::max()},
    {L"Notifications\\UIThreshold", 0, 1000},
    {L"Notifications\\EMailThreshold", 0, 1000},
    {L"Notifications\\CustomThreshold", 0, 1000},
};

// A text longer than any path or command line Windows takes is a mistake,
// and enough of them would make the settings file too large to read back.
constexpr size_t kMaxTextUnits = 32767;

bool IsDigitsOnly(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

}  // namespace

std::vector<SettingRef> SettingsTable(Settings& s) {
  InterfaceSettings& i = s.Interface;
  ConnectionSettings& c = s.Connection;
  ParameterSettings& p = s.Parameters;
  UiNotifySettings& u = s.UiNotify;
  EMailSettings& e = s.EMail;
  CustomNotifySettings& n = s.CustomNotify;
  LogSettings& l = s.Log;
  MainSettings& m = s.Main;
  std::vector<SettingRef> t = {
      {L"Interface\\paramsName", &i.paramsName},
      {L"Interface\\paramsValue", &i.paramsValue},
      {L"Interface\\paramsMaxValue", &i.paramsMaxValue},
      {L"Interface\\paramsState", &i.paramsState},
      {L"Interface\\logType", &i.logType},
      {L"Interface\\logTime", &i.logTime},
      {L"Interface\\logText", &i.logText},
      {L"Interface\\dlgX", &i.dlgX},
      {L"Interface\\dlgY", &i.dlgY},
      {L"Connection\\local", &c.local},
      {L"Connection\\server", &c.server},
      {L"Connection\\user", &c.user},
      {L"Connection\\password", &c.password, true},
      {L"Connection\\period", &c.period},
  };
  for (int id = 0; id < kParameterCount; ++id) {
    t.push_back({Indexed(L"Parameters\\enable", id), &p.enable[id]});
    t.push_back({Indexed(L"Parameters\\notificationValue", id), &p.notificationValue[id]});
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
      {L"Notifications\\UIThreshold", &u.UIThreshold},
      {L"Notifications\\EMailEnabled", &e.EMailEnabled},
      {L"Notifications\\EMailNotifyAgain", &e.EMailNotifyAgain},
      {L"Notifications\\EMailServer", &e.EMailServer},
      {L"Notifications\\EMailPort", &e.EMailPort},
      {L"Notifications\\EMailUser", &e.EMailUser},
      {L"Notifications\\EMailUserAddress", &e.EMailUserAddress},
      {L"Notifications\\EMailPassword", &e.EMailPassword, true},
      {L"Notifications\\EMailThreshold", &e.EMailThreshold},
      {L"Notifications\\EMailRecipiend", &e.EMailRecipiend},
      {L"Notifications\\EMailAuth", &e.EMailAuth},
      {L"Notifications\\EMailSSL", &e.EMailSSL},
      {L"Notifications\\CustomEnabled", &n.CustomEnabled},
      {L"Notifications\\CustomNotifyAgain", &n.CustomNotifyAgain},
      {L"Notifications\\CustomFile", &n.CustomFile},
      {L"Notifications\\CustomArg", &n.CustomArg},
      {L"Notifications\\CustomThreshold", &n.CustomThreshold},
      {L"Notifications\\CustomAuth", &n.CustomAuth},
      {L"Notifications\\CustomUser", &n.CustomUser},
      {L"Notifications\\CustomPassword", &n.CustomPassword, true},
      {L"Log\\SaveLog", &l.SaveLog},
      {L"Log\\Filename", &l.Filename},
      {L"Log\\Details", &l.Details},
      {L"Log\\ClearLog", &l.ClearLog},
      {L"Log\\LimitSize", &l.LimitSize},
      {L"Log\\MaxSize", &l.MaxSize},
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

bool ReadBoolText(std::wstring_view text) { return text == L"1"; }

int32_t ReadIntText(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  int64_t v = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (v < kLimit) v = v * 10 + (text[i] - L'0');
  }
  v = negative ? -v : v;
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
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

bool SetSettingFromUser(const SettingRef& ref, const std::wstring& text, std::wstring& error) {
  constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min(), kIntMax = std::numeric_limits<int32_t>::max();
  int64_t number = 0;
  if (auto f = std::get_if<IntSetting*>(&ref.field)) {
    int64_t low = kIntMin, high = kIntMax;
    for (const NumberRange& range : kRanges) {
      if (ref.name == range.name) {
        low = range.low;
        high = range.high;
      }
    }
    if (!ParseStrictInt(text, low, high, number)) {
      error = L"not a whole number from " + std::to_wstring(low) + L" to " + std::to_wstring(high) + L": \"" +
              text + L"\"";
      return false;
    }
    (*f)->store(static_cast<int32_t>(number));
  } else if (auto f = std::get_if<std::atomic<uint16_t>*>(&ref.field)) {
    if (!ParseStrictInt(text, 0, 65535, number)) {
      error = L"not a port number from 0 to 65535: \"" + text + L"\"";
      return false;
    }
    (*f)->store(static_cast<uint16_t>(number));
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
    if (ref.name.find(L"\\notificationValue") != std::wstring::npos && !IsDigitsOnly(text)) {
      error = L"a notification value is decimal digits or empty: \"" + text + L"\"";
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
