#pragma once
// A registry hive kept as a file in the format of Windows registry exports
// ("Windows Registry Editor Version 5.00"), so settings move between `reg
// export`/`reg import` on Windows and the file this program keeps on Linux.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RegFileValue {
  std::wstring name;  // empty for the key's default value ("@")
  uint32_t type = 3;  // REG_SZ 1, REG_BINARY 3, REG_DWORD 4, ...
  std::string data;   // the raw bytes, as RegQueryValueEx would return them
};

struct RegFileKey {
  std::wstring path;  // full path with the root, e.g. HKEY_CURRENT_USER\Software\...
  std::vector<RegFileValue> values;
};

class RegFileHive {
 public:
  // Larger files are refused, so a hostile file cannot exhaust memory.
  static constexpr size_t kMaxFileBytes = 16u << 20;

  // Replaces the contents with a parsed file (UTF-16LE with a byte-order mark,
  // or UTF-8 with or without one). An empty or blank file is an empty hive.
  // False, with the hive unchanged and error naming the line, when the text
  // is not such a file.
  bool Parse(std::string_view fileBytes, std::wstring& error);

  // The file's bytes: UTF-8 without a byte-order mark, CR LF line ends, keys in
  // the order they were first seen, long hex data wrapped as regedit wraps it.
  std::string Serialize() const;

  // Key paths and value names compare without regard to case.
  const RegFileValue* Find(std::wstring_view keyPath, std::wstring_view name) const;
  void Set(std::wstring_view keyPath, std::wstring_view name, uint32_t type, std::string_view data);
  bool Remove(std::wstring_view keyPath, std::wstring_view name);

  const std::vector<RegFileKey>& Keys() const { return keys_; }

 private:
  std::vector<RegFileKey> keys_;
};
