#pragma once
// The one way the program asks WMI something: one property, or several, of
// every instance of one class, over a fresh connection to the computer the
// settings name, or over one the caller keeps.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wmi/wmi_source.h"

struct ConnectionSettings;

// A namespace connection and its proxy security, kept for as long as the
// connection settings stay the same. A COM proxy belongs to its thread's
// apartment: one thread uses it, and releases it (Close) there.
class WmiConnection {
 public:
  // Whether it is open for these settings.
  bool IsOpenFor(const ConnectionSettings& connection) const;
  // Connects as the settings say: this computer when it is named, the remote
  // one with the credentials otherwise.
  WmiCode Open(const ConnectionSettings& connection, WmiSource& source);
  void Close();
  WmiNamespace& Namespace() { return *namespace_; }
  const WmiIdentity* Identity() const { return local_ ? nullptr : &identity_; }

 private:
  std::unique_ptr<WmiLocator> locator_;
  std::unique_ptr<WmiNamespace> namespace_;
  WmiIdentity identity_;
  bool local_ = true;
  std::wstring key_;  // the settings it was made for
};

// A failure after which a kept connection is made again: the transport broke
// or the logon was refused.
bool IsConnectionFailure(WmiCode code);

class WmiQuery {
 public:
  // kept, when given, is reused across queries (and made again where it
  // broke); without it every query connects afresh.
  WmiQuery(const ConnectionSettings& connection, WmiSource& source, WmiConnection* kept = nullptr);

  // Each output is optional. The lists are emptied first; the single value
  // keeps the caller's value when no instance gives one.
  WmiCode QueryProperty(const std::wstring& className, const std::wstring& propertyName, int64_t* single,
                        std::vector<std::wstring>* texts, std::vector<int64_t>* numbers);
  WmiCode QueryValues(const std::wstring& className, const std::wstring& propertyName, std::vector<int64_t>& numbers);
  WmiCode QueryStrings(const std::wstring& className, const std::wstring& propertyName,
                       std::vector<std::wstring>& texts);

  // Several properties of every instance in one query, so that the values on
  // a row are one instance's: one row per instance, one text per property in
  // order. A text comes as it is, a 32-bit number widened unsigned in
  // decimal, no value as "0" and any other type as "". rows is emptied first.
  WmiCode QueryRows(const std::wstring& className, const std::vector<std::wstring>& properties,
                    std::vector<std::vector<std::wstring>>& rows);

  // The query on an open namespace; identity nullptr for a local connection.
  static WmiCode ExecPropertyQuery(WmiNamespace& ns, const WmiIdentity* identity, const std::wstring& className,
                                   const std::wstring& propertyName, uint32_t timeoutMs, int64_t* single,
                                   std::vector<std::wstring>* texts, std::vector<int64_t>* numbers);

 private:
  // exec on the connection: a fresh one, or the kept one (made again once
  // where it broke).
  template <class Exec>
  WmiCode OnConnection(Exec exec);

  const ConnectionSettings& connection_;
  WmiSource& source_;
  WmiConnection* kept_;
};

inline constexpr uint32_t kWmiStepTimeoutMs = 120000;
