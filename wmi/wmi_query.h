#pragma once
// The one way the program asks WMI something: one property of every instance
// of one class, over a fresh connection to the computer the settings name.
#include <cstdint>
#include <string>
#include <vector>

#include "wmi/wmi_source.h"

struct ConnectionSettings;

class WmiQuery {
 public:
  WmiQuery(const ConnectionSettings& connection, WmiSource& source);

  // Each output is optional. The lists are emptied first; the single value
  // keeps the caller's value when no instance gives one.
  WmiCode QueryProperty(const std::wstring& className, const std::wstring& propertyName, int64_t* single,
                        std::vector<std::wstring>* texts, std::vector<int64_t>* numbers);
  WmiCode QueryValues(const std::wstring& className, const std::wstring& propertyName,
                      std::vector<int64_t>& numbers);
  WmiCode QueryStrings(const std::wstring& className, const std::wstring& propertyName,
                       std::vector<std::wstring>& texts);

  // The query on an open namespace; identity nullptr for a local connection.
  static WmiCode ExecPropertyQuery(WmiNamespace& ns, const WmiIdentity* identity, const std::wstring& className,
                                   const std::wstring& propertyName, uint32_t timeoutMs, int64_t* single,
                                   std::vector<std::wstring>* texts, std::vector<int64_t>* numbers);

 private:
  const ConnectionSettings& connection_;
  WmiSource& source_;
};

inline constexpr uint32_t kWmiStepTimeoutMs = 120000;
