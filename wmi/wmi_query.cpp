#include "wmi/wmi_query.h"

#include <cwctype>

#include "common/decimal.h"
#include "settings/settings.h"

namespace {

constexpr wchar_t kLocalHost[] = L"localhost";

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

// Splits "domain\user" at the first backslash; a text without one (including
// "domain/user") is all user name.
WmiIdentity MakeIdentity(const std::wstring& userText, const std::wstring& password) {
  WmiIdentity identity;
  size_t slash = userText.find(L'\\');
  if (slash == std::wstring::npos) {
    identity.user = userText;
  } else {
    identity.domain = userText.substr(0, slash);
    identity.user = userText.substr(slash + 1);
  }
  identity.password = password;
  return identity;
}

}  // namespace

WmiQuery::WmiQuery(const ConnectionSettings& connection, WmiSource& source)
    : connection_(connection), source_(source) {}

WmiCode WmiQuery::QueryValues(const std::wstring& className, const std::wstring& propertyName,
                              std::vector<int64_t>& numbers) {
  return QueryProperty(className, propertyName, nullptr, nullptr, &numbers);
}

WmiCode WmiQuery::QueryStrings(const std::wstring& className, const std::wstring& propertyName,
                               std::vector<std::wstring>& texts) {
  return QueryProperty(className, propertyName, nullptr, &texts, nullptr);
}

WmiCode WmiQuery::QueryProperty(const std::wstring& className, const std::wstring& propertyName, int64_t* single,
                                std::vector<std::wstring>* texts, std::vector<int64_t>* numbers) {
  const std::wstring server = connection_.local ? std::wstring(kLocalHost) : connection_.server.Get();
  std::wstring user = connection_.user.Get();
  const std::wstring password = connection_.password.Get();
  if (texts) texts->clear();
  if (numbers) numbers->clear();

  std::unique_ptr<WmiLocator> locator;
  if (WmiCode code = source_.CreateLocator(locator); code != kWmiOk) return code;

  if (user.find(L'\\') == std::wstring::npos && user.find(L'/') == std::wstring::npos) user.insert(0, 1, L'\\');

  std::unique_ptr<WmiNamespace> ns;
  bool local = EqualsIgnoringCase(server, kLocalHost);
  WmiCode code = kWmiOk;
  if (!local) {
    code = locator->ConnectServer(L"\\\\" + server + L"\\root\\cimv2", &user, &password, ns);
    // The server named is this computer, which refuses credentials.
    if (code == kWmiLocalCredentials) local = true;
  }
  if (local) {
    ns.reset();
    code = locator->ConnectServer(L"\\\\.\\root\\cimv2", nullptr, nullptr, ns);
  }
  if (code != kWmiOk) return code;

  WmiIdentity identity;
  const WmiIdentity* useIdentity = nullptr;
  if (!local) {
    identity = MakeIdentity(user, password);
    useIdentity = &identity;
  }
  if (WmiCode security = ns->SetSecurity(useIdentity); security != kWmiOk) return security;
  return ExecPropertyQuery(*ns, useIdentity, className, propertyName, kWmiStepTimeoutMs, single, texts, numbers);
}

WmiCode WmiQuery::ExecPropertyQuery(WmiNamespace& ns, const WmiIdentity* identity, const std::wstring& className,
                                    const std::wstring& propertyName, uint32_t timeoutMs, int64_t* single,
                                    std::vector<std::wstring>* texts, std::vector<int64_t>* numbers) {
  std::unique_ptr<WmiEnumerator> rows;
  if (WmiCode code = ns.ExecQuery(L"WQL", L"Select " + propertyName + L" from " + className, rows); code != kWmiOk)
    return code;
  if (WmiCode code = rows->SetSecurity(identity); code != kWmiOk) return code;

  for (;;) {
    std::unique_ptr<WmiObject> object;
    WmiCode code = rows->Next(timeoutMs, object);
    if (code == kWmiFalse && !object) return kWmiOk;
    if (code != kWmiOk) return code;
    WmiValue value;
    if (code = object->Get(propertyName, value); code != kWmiOk) return code;

    switch (value.type) {
      case WmiValue::Type::Null:
        if (single) {
          *single = 0;
          return kWmiOk;
        }
        if (texts) texts->push_back(L"0");
        if (numbers) numbers->push_back(0);
        break;
      case WmiValue::Type::Int32: {
        int64_t widened = static_cast<uint32_t>(value.number);
        if (single) {
          *single = widened;
          return kWmiOk;
        }
        if (numbers) numbers->push_back(widened);
        break;
      }
      case WmiValue::Type::Text:
        if (!texts) {
          if (single) {
            *single = ReadDecimal(value.text);
            return kWmiOk;
          }
          if (numbers) numbers->push_back(ReadDecimal(value.text));
        } else {
          texts->push_back(value.text);
        }
        break;
      case WmiValue::Type::Other:
        if (single) {
          *single = 0;
          return kWmiOk;
        }
        break;
    }
  }
}
