#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <utility>

#include "common/scoped_win.h"
#include "wmi/wmi_source.h"

namespace {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) SysFreeString(std::exchange(b_, std::exchange(other.b_, nullptr)));
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return b_; }

 private:
  BSTR b_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* Out() { return &v_; }
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

// COM may keep a pointer to the identity for as long as the proxy lives, so
// the record and the strings it points into stay put on the heap.
class ProxyIdentity {
 public:
  explicit ProxyIdentity(const WmiIdentity& identity) : copy_(identity) {
    record_.User = Units(copy_.user);
    record_.UserLength = static_cast<ULONG>(copy_.user.size());
    record_.Domain = Units(copy_.domain);
    record_.DomainLength = static_cast<ULONG>(copy_.domain.size());
    record_.Password = Units(copy_.password);
    record_.PasswordLength = static_cast<ULONG>(copy_.password.size());
    record_.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
  }
  ProxyIdentity(const ProxyIdentity&) = delete;
  ProxyIdentity& operator=(const ProxyIdentity&) = delete;
  ~ProxyIdentity() { SecureZeroMemory(copy_.password.data(), copy_.password.size() * sizeof(wchar_t)); }

  SEC_WINNT_AUTH_IDENTITY_W* Record() { return &record_; }

 private:
  static unsigned short* Units(std::wstring& text) { return reinterpret_cast<unsigned short*>(text.data()); }

  WmiIdentity copy_;
  SEC_WINNT_AUTH_IDENTITY_W record_{};
};

// Sets the blanket on proxy; identity_ keeps the credentials the proxy uses.
class ProxySecurity {
 public:
  WmiCode Set(IUnknown* proxy, const WmiIdentity* identity) {
    auto next = identity ? std::make_unique<ProxyIdentity>(*identity) : nullptr;
    HRESULT hr = CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                   RPC_C_IMP_LEVEL_IMPERSONATE, next ? next->Record() : nullptr, EOAC_NONE);
    // A refused blanket leaves the proxy with the identity it had.
    if (hr == S_OK) identity_ = std::move(next);
    return static_cast<WmiCode>(hr);
  }

 private:
  std::unique_ptr<ProxyIdentity> identity_;
};

class ComObject final : public WmiObject {
 public:
  explicit ComObject(ScopedCom<IWbemClassObject> object) : object_(std::move(object)) {}

  WmiCode Get(const std::wstring& property, WmiValue& value) override {
    Variant v;
    HRESULT hr = object_->Get(property.c_str(), 0, v.Out(), nullptr, nullptr);
    if (hr != S_OK) return static_cast<WmiCode>(hr);
    const VARIANT& raw = v.Get();
    switch (raw.vt) {
      case VT_NULL:
        value = WmiValue::Null();
        break;
      case VT_I4:
        value = WmiValue::Int32(raw.lVal);
        break;
      case VT_BSTR:
        // A null BSTR is a valid empty text; the length also keeps embedded zeros.
        value = WmiValue::Text(raw.bstrVal ? std::wstring(raw.bstrVal, SysStringLen(raw.bstrVal)) : std::wstring());
        break;
      default:
        value = WmiValue::Other();
        break;
    }
    return kWmiOk;
  }

 private:
  ScopedCom<IWbemClassObject> object_;
};

class ComEnumerator final : public WmiEnumerator {
 public:
  explicit ComEnumerator(ScopedCom<IEnumWbemClassObject> rows) : rows_(std::move(rows)) {}

  WmiCode SetSecurity(const WmiIdentity* identity) override { return security_.Set(rows_.Get(), identity); }

  WmiCode Next(uint32_t timeoutMs, std::unique_ptr<WmiObject>& object) override {
    ScopedCom<IWbemClassObject> row;
    ULONG returned = 0;
    // 0xFFFFFFFF wraps to -1, which is WBEM_INFINITE.
    HRESULT hr = rows_->Next(static_cast<long>(timeoutMs), 1, row.Out(), &returned);
    if (returned == 1 && row.Get()) {
      object = std::make_unique<ComObject>(std::move(row));
    } else {
      object.reset();
    }
    return static_cast<WmiCode>(hr);
  }

 private:
  // Declared first so the proxy is released before the identity it may use.
  ProxySecurity security_;
  ScopedCom<IEnumWbemClassObject> rows_;
};

class ComNamespace final : public WmiNamespace {
 public:
  explicit ComNamespace(ScopedCom<IWbemServices> services) : services_(std::move(services)) {}

  WmiCode SetSecurity(const WmiIdentity* identity) override { return security_.Set(services_.Get(), identity); }

  WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                    std::unique_ptr<WmiEnumerator>& result) override {
    Bstr bLanguage(language), bQuery(query);
    if (!bLanguage.Get() || !bQuery.Get()) return static_cast<WmiCode>(E_OUTOFMEMORY);
    ScopedCom<IEnumWbemClassObject> rows;
    HRESULT hr = services_->ExecQuery(bLanguage.Get(), bQuery.Get(),
                                      WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, rows.Out());
    if (hr != S_OK) return static_cast<WmiCode>(hr);
    if (!rows.Get()) return static_cast<WmiCode>(E_POINTER);
    result = std::make_unique<ComEnumerator>(std::move(rows));
    return kWmiOk;
  }

 private:
  ProxySecurity security_;
  ScopedCom<IWbemServices> services_;
};

class ComLocator final : public WmiLocator {
 public:
  explicit ComLocator(ScopedCom<IWbemLocator> locator) : locator_(std::move(locator)) {}

  WmiCode ConnectServer(const std::wstring& path, const std::wstring* user, const std::wstring* password,
                        std::unique_ptr<WmiNamespace>& result) override {
    Bstr bPath(path);
    Bstr bUser = user ? Bstr(*user) : Bstr();
    Bstr bPassword = password ? Bstr(*password) : Bstr();
    // A lost user or password would silently connect as this account instead.
    if (!bPath.Get() || (user && !bUser.Get()) || (password && !bPassword.Get()))
      return static_cast<WmiCode>(E_OUTOFMEMORY);
    ScopedCom<IWbemServices> services;
    HRESULT hr = locator_->ConnectServer(bPath.Get(), bUser.Get(), bPassword.Get(), nullptr,
                                         WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr, services.Out());
    if (hr != S_OK) return static_cast<WmiCode>(hr);
    if (!services.Get()) return static_cast<WmiCode>(E_POINTER);
    result = std::make_unique<ComNamespace>(std::move(services));
    return kWmiOk;
  }

 private:
  ScopedCom<IWbemLocator> locator_;
};

class ComSource final : public WmiSource {
 public:
  WmiCode CreateLocator(std::unique_ptr<WmiLocator>& locator) override {
    ScopedCom<IWbemLocator> raw;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(raw.Out()));
    if (hr != S_OK) return static_cast<WmiCode>(hr);
    locator = std::make_unique<ComLocator>(std::move(raw));
    return kWmiOk;
  }
};

}  // namespace

std::unique_ptr<WmiSource> CreateSystemWmiSource() { return std::make_unique<ComSource>(); }
