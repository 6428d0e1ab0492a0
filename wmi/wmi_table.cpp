#include "wmi/wmi_table.h"

#include <algorithm>
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

class RowObject final : public WmiObject {
 public:
  RowObject(const std::vector<std::wstring>& properties, std::vector<WmiValue> values)
      : properties_(properties), values_(std::move(values)) {}
  WmiCode Get(const std::wstring& property, WmiValue& value) override {
    const std::wstring lower = ToLower(property);
    for (size_t i = 0; i < properties_.size(); ++i) {
      if (SameWord(properties_[i], lower)) {
        value = values_[i];
        return kWmiOk;
      }
    }
    return kWmiNotFound;
  }

 private:
  const std::vector<std::wstring>& properties_;  // the enumerator's, which outlives its rows' reading
  std::vector<WmiValue> values_;
};

class ColumnsEnumerator final : public WmiEnumerator {
 public:
  ColumnsEnumerator(std::vector<std::wstring> properties, std::vector<std::vector<WmiValue>> columns)
      : properties_(std::move(properties)), columns_(std::move(columns)) {
    rows_ = columns_.front().size();
    for (const auto& column : columns_) rows_ = std::min(rows_, column.size());
  }
  WmiCode SetSecurity(const WmiIdentity*) override { return kWmiOk; }
  WmiCode Next(uint32_t, std::unique_ptr<WmiObject>& object) override {
    object.reset();
    if (next_ >= rows_) return kWmiFalse;
    std::vector<WmiValue> row;
    for (const auto& column : columns_) row.push_back(column[next_]);
    ++next_;
    object = std::make_unique<RowObject>(properties_, std::move(row));
    return kWmiOk;
  }

 private:
  std::vector<std::wstring> properties_;
  std::vector<std::vector<WmiValue>> columns_;
  size_t rows_ = 0;
  size_t next_ = 0;
};

class TableNamespace final : public WmiNamespace {
 public:
  explicit TableNamespace(WmiTableSource& source) : source_(source) {}
  WmiCode SetSecurity(const WmiIdentity*) override { return kWmiOk; }
  WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                    std::unique_ptr<WmiEnumerator>& result) override {
    if (!SameWord(language, L"wql")) return kWmiInvalidQueryType;
    std::vector<std::wstring> properties;
    std::wstring className;
    if (!ParseWql(query, properties, className)) return kWmiInvalidQuery;
    std::vector<std::vector<WmiValue>> columns(properties.size());
    for (size_t i = 0; i < properties.size(); ++i) {
      if (WmiCode code = source_.Column(className, properties[i], columns[i]); code != kWmiOk) return code;
    }
    result = std::make_unique<ColumnsEnumerator>(std::move(properties), std::move(columns));
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

bool ParseWql(const std::wstring& query, std::vector<std::wstring>& properties, std::wstring& className) {
  // Commas stand apart as words of their own: "Select P,Q from C" reads as "Select P , Q from C".
  std::wstring spaced;
  for (wchar_t c : query) spaced += c == L',' ? std::wstring(L" , ") : std::wstring(1, c);
  std::wistringstream words(spaced);
  std::wstring word, extra;
  std::vector<std::wstring> list;
  if (!(words >> word) || !SameWord(word, L"select")) return false;
  // A property, then a comma and another, or "from".
  for (bool wantProperty = true;; wantProperty = !wantProperty) {
    if (!(words >> word)) return false;
    if (wantProperty) {
      if (word == L"," || SameWord(word, L"from")) return false;
      list.push_back(word);
    } else if (SameWord(word, L"from")) {
      break;
    } else if (word != L",") {
      return false;
    }
  }
  if (!(words >> className) || className == L"," || words >> extra) return false;
  properties = std::move(list);
  return true;
}

WmiCode WmiTableSource::CreateLocator(std::unique_ptr<WmiLocator>& locator) {
  locator = std::make_unique<TableLocator>(*this);
  return kWmiOk;
}
