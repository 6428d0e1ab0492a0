#include "wmi/wmi_table.h"

#include <cwctype>
#include <sstream>

namespace {

constexpr WmiCode kWmiInvalidQueryType = 0x80041018;  // WBEM_E_INVALID_QUERY_TYPE

std::wstring ToLower(const std::wstring& text) {
  std::wstring lower;
  for (wchar_t c : text) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
  return lower;
}

bool SameWord(const std::wstring& word, const std::wstring& lowerKeyword) { return ToLower(word) == lowerKeyword; }

class ColumnObject final : public WmiObject {
 public:
  ColumnObject(std::wstring property, WmiValue value) : property_(std::move(property)), value_(std::move(value)) {}
  WmiCode Get(const std::wstring& property, WmiValue& value) override {
    if (!SameWord(property, ToLower(property_))) return kWmiNotFound;
    value = value_;
    return kWmiOk;
  }

 private:
  std::wstring property_;
  WmiValue value_;
};

class ColumnEnumerator final : public WmiEnumerator {
 public:
  ColumnEnumerator(std::wstring property, std::vector<WmiValue> values)
      : property_(std::move(property)), values_(std::move(values)) {}
  WmiCode SetSecurity(const WmiIdentity*) override { return kWmiOk; }
  WmiCode Next(uint32_t, std::unique_ptr<WmiObject>& object) override {
    object.reset();
    if (next_ >= values_.size()) return kWmiFalse;
    object = std::make_unique<ColumnObject>(property_, values_[next_++]);
    return kWmiOk;
  }

 private:
  std::wstring property_;
  std::vector<WmiValue> values_;
  size_t next_ = 0;
};

class TableNamespace final : public WmiNamespace {
 public:
  explicit TableNamespace(WmiTableSource& source) : source_(source) {}
  WmiCode SetSecurity(const WmiIdentity*) override { return kWmiOk; }
  WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                    std::unique_ptr<WmiEnumerator>& result) override {
    if (!SameWord(language, L"wql")) return kWmiInvalidQueryType;
    std::wstring property, className;
    if (!ParseWql(query, property, className)) return kWmiInvalidQuery;
    std::vector<WmiValue> values;
    if (WmiCode code = source_.Column(className, property, values); code != kWmiOk) return code;
    result = std::make_unique<ColumnEnumerator>(property, std::move(values));
    return kWmiOk;
  }

 private:
  WmiTableSource& source_;
};

class TableLocator final : public WmiLocator {
 public:
  explicit TableLocator(WmiTableSource& source) : source_(source) {}
  WmiCode ConnectServer(const std::wstring& path, const std::wstring*, const std::wstring*,
                        std::unique_ptr<WmiNamespace>& result) override {
    // "\\server\root\cimv2"
    constexpr wchar_t kTail[] = L"\\root\\cimv2";
    constexpr size_t kTailLength = sizeof(kTail) / sizeof(wchar_t) - 1;
    if (path.size() <= 2 + kTailLength || path.compare(0, 2, L"\\\\") != 0) return kWmiInvalidNamespace;
    std::wstring tail = path.substr(path.size() - kTailLength);
    if (!SameWord(tail, L"\\root\\cimv2")) return kWmiInvalidNamespace;
    std::wstring server = path.substr(2, path.size() - 2 - kTailLength);
    if (server != L".") {
      if (WmiCode code = source_.ConnectRemote(server); code != kWmiOk) return code;
    }
    result = std::make_unique<TableNamespace>(source_);
    return kWmiOk;
  }

 private:
  WmiTableSource& source_;
};

}  // namespace

bool ParseWql(const std::wstring& query, std::wstring& property, std::wstring& className) {
  std::wistringstream words(query);
  std::wstring select, from, extra;
  if (!(words >> select >> property >> from >> className)) return false;
  if (words >> extra) return false;
  return SameWord(select, L"select") && SameWord(from, L"from");
}

WmiCode WmiTableSource::CreateLocator(std::unique_ptr<WmiLocator>& locator) {
  locator = std::make_unique<TableLocator>(*this);
  return kWmiOk;
}
