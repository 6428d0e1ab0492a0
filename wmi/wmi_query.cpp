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

// The settings a connection is made for, as one text.
std::wstring ConnectionKey(const ConnectionSettings& connection) {
  return connection.local ? std::wstring(L"\n")
                          : connection.server.Get() + L"\n" + connection.user.Get() + L"\n" + connection.password.Get();
}

// Runs the query and hands each object to visit, which answers kWmiOk to go
// on, kWmiFalse to end with success, or a failure to end with it.
template <class Visit>
WmiCode ForEachObject(WmiNamespace& ns, const WmiIdentity* identity, const std::wstring& query, uint32_t timeoutMs,
                      Visit visit) {
  std::unique_ptr<WmiEnumerator> found;
  if (WmiCode code = ns.ExecQuery(L"WQL", query, found); code != kWmiOk) return code;
  if (WmiCode code = found->SetSecurity(identity); code != kWmiOk) return code;
  for (;;) {
    std::unique_ptr<WmiObject> object;
    WmiCode code = found->Next(timeoutMs, object);
    if (code == kWmiFalse && !object) return kWmiOk;
    if (code != kWmiOk) return code;
    if (code = visit(*object); code != kWmiOk) return code == kWmiFalse ? kWmiOk : code;
  }
}

std::wstring CellText(const WmiValue& value) {
  switch (value.type) {
    case WmiValue::Type::Null:
      return L"0";
    case WmiValue::Type::Int32:
      return std::to_wstring(static_cast<uint32_t>(value.number));
    case WmiValue::Type::Text:
      return value.text;
    case WmiValue::Type::Other:
      break;
  }
  return L"";
}

}  // namespace

bool WmiConnection::IsOpenFor(const ConnectionSettings& connection) const {
  return namespace_ && key_ == ConnectionKey(connection);
}

void WmiConnection::Close() {
  namespace_.reset();
  locator_.reset();
}

WmiCode WmiConnection::Open(const ConnectionSettings& connection, WmiSource& source) {
  Close();
  key_ = ConnectionKey(connection);
  const std::wstring server = connection.local ? std::wstring(kLocalHost) : connection.server.Get();
  std::wstring user = connection.user.Get();
  const std::wstring password = connection.password.Get();

  std::unique_ptr<WmiLocator> locator;
  if (WmiCode code = source.CreateLocator(locator); code != kWmiOk) return code;

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

  identity_ = local ? WmiIdentity{} : MakeIdentity(user, password);
  local_ = local;
  if (WmiCode security = ns->SetSecurity(Identity()); security != kWmiOk) return security;
  locator_ = std::move(locator);
  namespace_ = std::move(ns);
  return kWmiOk;
}

bool IsConnectionFailure(WmiCode code) {
  switch (code) {
    case 0x80010108:  // RPC_E_DISCONNECTED
    case 0x800706BA:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BE:  // RPC_S_CALL_FAILED
    case kWmiTransportFailure:
    case 0x80070005:  // E_ACCESSDENIED
    case 0x80041003:  // WBEM_E_ACCESS_DENIED
      return true;
    default:
      return false;
  }
}

WmiQuery::WmiQuery(const ConnectionSettings& connection, WmiSource& source, WmiConnection* kept)
    : connection_(connection), source_(source), kept_(kept) {}

WmiCode WmiQuery::QueryValues(const std::wstring& className, const std::wstring& propertyName,
                              std::vector<int64_t>& numbers) {
  return QueryProperty(className, propertyName, nullptr, nullptr, &numbers);
}

WmiCode WmiQuery::QueryStrings(const std::wstring& className, const std::wstring& propertyName,
                               std::vector<std::wstring>& texts) {
  return QueryProperty(className, propertyName, nullptr, &texts, nullptr);
}

template <class Exec>
WmiCode WmiQuery::OnConnection(Exec exec) {
  if (!kept_) {
    WmiConnection fresh;
    if (WmiCode code = fresh.Open(connection_, source_); code != kWmiOk) return code;
    return exec(fresh);
  }
  const bool reused = kept_->IsOpenFor(connection_);
  WmiCode code = reused ? kWmiOk : kept_->Open(connection_, source_);
  if (code == kWmiOk) code = exec(*kept_);
  // A kept connection that broke is made again once, so that a query reports
  // what it would have on a fresh one.
  if (reused && IsConnectionFailure(code)) {
    code = kept_->Open(connection_, source_);
    if (code == kWmiOk) code = exec(*kept_);
  }
  if (IsConnectionFailure(code)) kept_->Close();
  return code;
}

WmiCode WmiQuery::QueryProperty(const std::wstring& className, const std::wstring& propertyName, int64_t* single,
                                std::vector<std::wstring>* texts, std::vector<int64_t>* numbers) {
  if (texts) texts->clear();
  if (numbers) numbers->clear();
  return OnConnection([&](WmiConnection& connection) {
    if (texts) texts->clear();
    if (numbers) numbers->clear();
    return ExecPropertyQuery(connection.Namespace(), connection.Identity(), className, propertyName, kWmiStepTimeoutMs,
                             single, texts, numbers);
  });
}

WmiCode WmiQuery::QueryRows(const std::wstring& className, const std::vector<std::wstring>& properties,
                            std::vector<std::vector<std::wstring>>& rows) {
  rows.clear();
  std::wstring query = L"Select ";
  for (size_t i = 0; i < properties.size(); ++i) query += (i == 0 ? L"" : L", ") + properties[i];
  query += L" from " + className;
  return OnConnection([&](WmiConnection& connection) {
    rows.clear();
    return ForEachObject(connection.Namespace(), connection.Identity(), query, kWmiStepTimeoutMs,
                         [&](WmiObject& object) {
                           std::vector<std::wstring>& row = rows.emplace_back();
                           for (const std::wstring& property : properties) {
                             WmiValue value;
                             if (WmiCode code = object.Get(property, value); code != kWmiOk) return code;
                             row.push_back(CellText(value));
                           }
                           return kWmiOk;
                         });
  });
}

WmiCode WmiQuery::ExecPropertyQuery(WmiNamespace& ns, const WmiIdentity* identity, const std::wstring& className,
                                    const std::wstring& propertyName, uint32_t timeoutMs, int64_t* single,
                                    std::vector<std::wstring>* texts, std::vector<int64_t>* numbers) {
  // A visit answers kWmiFalse once the single value is set: later instances are
  // not read.
  return ForEachObject(ns, identity, L"Select " + propertyName + L" from " + className, timeoutMs,
                       [&](WmiObject& object) -> WmiCode {
                         WmiValue value;
                         if (WmiCode code = object.Get(propertyName, value); code != kWmiOk) return code;
                         switch (value.type) {
                           case WmiValue::Type::Null:
                             if (single) {
                               *single = 0;
                               return kWmiFalse;
                             }
                             if (texts) texts->push_back(L"0");
                             if (numbers) numbers->push_back(0);
                             break;
                           case WmiValue::Type::Int32: {
                             int64_t widened = static_cast<uint32_t>(value.number);
                             if (single) {
                               *single = widened;
                               return kWmiFalse;
                             }
                             if (numbers) numbers->push_back(widened);
                             break;
                           }
                           case WmiValue::Type::Text:
                             if (!texts) {
                               if (single) {
                                 *single = ReadDecimal(value.text);
                                 return kWmiFalse;
                               }
                               if (numbers) numbers->push_back(ReadDecimal(value.text));
                             } else {
                               texts->push_back(value.text);
                             }
                             break;
                           case WmiValue::Type::Other:
                             if (single) {
                               *single = 0;
                               return kWmiFalse;
                             }
                             break;
                         }
                         return kWmiOk;
                       });
}
