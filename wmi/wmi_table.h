#pragma once
// A WMI source that answers each "Select P from C" with a whole column: the
// property's value for every instance of the class, in order; "Select P, Q
// from C" pairs the columns by position, as far as all of them go. The Linux
// provider and recorded answers build on it.
#include <string>
#include <vector>

#include "wmi/wmi_source.h"

class WmiTableSource : public WmiSource {
 public:
  WmiCode CreateLocator(std::unique_ptr<WmiLocator>& locator) override;

  // The value of property for every instance of className, or
  // kWmiInvalidClass / kWmiNotFound. Called from any thread.
  virtual WmiCode Column(const std::wstring& className, const std::wstring& property,
                         std::vector<WmiValue>& values) = 0;
  // Connecting to a computer by name: kWmiOk when this source answers for it,
  // kWmiLocalCredentials when the name is this computer's own, else a failure.
  virtual WmiCode ConnectRemote(const std::wstring& server) = 0;
};

// Splits "Select P from C" or "Select P, Q from C" (keywords in any letter
// case); false when the text is not that shape.
bool ParseWql(const std::wstring& query, std::vector<std::wstring>& properties, std::wstring& className);
