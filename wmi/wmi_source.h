#pragma once
// What the query session needs of WMI: the locator, an open namespace, a
// forward-only enumerator and the objects it yields, with COM's result codes.
// Real WMI (COM), the Linux provider and recorded answers implement it.
#include <cstdint>
#include <memory>
#include <string>

using WmiCode = uint32_t;  // an HRESULT: 0 success, anything else failure

inline constexpr WmiCode kWmiOk = 0;
inline constexpr WmiCode kWmiFalse = 1;                      // WBEM_S_FALSE: no more objects
inline constexpr WmiCode kWmiNotFound = 0x80041002;          // WBEM_E_NOT_FOUND
inline constexpr WmiCode kWmiInvalidNamespace = 0x8004100E;  // WBEM_E_INVALID_NAMESPACE
inline constexpr WmiCode kWmiInvalidClass = 0x80041010;      // WBEM_E_INVALID_CLASS
inline constexpr WmiCode kWmiTransportFailure = 0x80041015;  // WBEM_E_TRANSPORT_FAILURE
inline constexpr WmiCode kWmiInvalidQuery = 0x80041017;      // WBEM_E_INVALID_QUERY
inline constexpr WmiCode kWmiLocalCredentials = 0x80041064;  // WBEM_E_LOCAL_CREDENTIALS

// A property value in the forms the session converts (VARIANT types).
struct WmiValue {
  enum class Type { Null, Int32, Text, Other };  // VT_NULL, VT_I4, VT_BSTR, anything else
  Type type = Type::Null;
  int32_t number = 0;
  std::wstring text;

  static WmiValue Null() { return {}; }
  static WmiValue Int32(int32_t n) { return {Type::Int32, n, {}}; }
  static WmiValue Text(std::wstring t) { return {Type::Text, 0, std::move(t)}; }
  static WmiValue Other() { return {Type::Other, 0, {}}; }
  bool operator==(const WmiValue&) const = default;
};

// Credentials for a remote namespace's proxy (SEC_WINNT_AUTH_IDENTITY, Unicode).
struct WmiIdentity {
  std::wstring user;
  std::wstring domain;
  std::wstring password;
};

class WmiObject {
 public:
  virtual ~WmiObject() = default;
  virtual WmiCode Get(const std::wstring& property, WmiValue& value) = 0;
};

class WmiEnumerator {
 public:
  virtual ~WmiEnumerator() = default;
  // Proxy security; identity nullptr means the process's own.
  virtual WmiCode SetSecurity(const WmiIdentity* identity) = 0;
  // One object, or kWmiFalse and none at the end; waits at most timeoutMs.
  virtual WmiCode Next(uint32_t timeoutMs, std::unique_ptr<WmiObject>& object) = 0;
};

class WmiNamespace {
 public:
  virtual ~WmiNamespace() = default;
  virtual WmiCode SetSecurity(const WmiIdentity* identity) = 0;
  // Forward-only, return-immediately query.
  virtual WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                            std::unique_ptr<WmiEnumerator>& result) = 0;
};

class WmiLocator {
 public:
  virtual ~WmiLocator() = default;
  // path is "\\server\root\cimv2" or "\\.\root\cimv2"; user and password
  // nullptr mean none (the caller's own account).
  virtual WmiCode ConnectServer(const std::wstring& path, const std::wstring* user,
                                const std::wstring* password, std::unique_ptr<WmiNamespace>& result) = 0;
};

// One WMI implementation; makes a fresh locator for every query. Callable
// from any thread.
class WmiSource {
 public:
  virtual ~WmiSource() = default;
  virtual WmiCode CreateLocator(std::unique_ptr<WmiLocator>& locator) = 0;
  // A monitoring pass begins: recorded answers move on to their next pass,
  // and the Linux provider keeps what it reads until the pass ends.
  virtual void OnPassStart() {}
  virtual void OnPassEnd() {}
};

// The platform's own: WMI over COM on Windows, the /proc and /sys provider on
// Linux. Nullptr when it cannot be made.
std::unique_ptr<WmiSource> CreateSystemWmiSource();
