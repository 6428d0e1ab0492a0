#pragma once
// Recorded WMI answers read from a text file: one block per monitoring pass,
// the last block repeating. Used for demos and for scenario tests. The format
// is described in docs/replay-format.md.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "wmi/wmi_table.h"

class WmiReplaySource final : public WmiTableSource {
 public:
  // Larger recordings are refused, so a hostile file cannot exhaust memory.
  static constexpr size_t kMaxFileBytes = 16u << 20;

  struct ListedColumn {
    std::wstring className;  // as first written
    std::wstring property;
    size_t firstPass;  // 1-based
  };

  WmiReplaySource(const WmiReplaySource&) = delete;
  WmiReplaySource& operator=(const WmiReplaySource&) = delete;

  WmiCode Column(const std::wstring& className, const std::wstring& property,
                 std::vector<WmiValue>& values) override;
  WmiCode ConnectRemote(const std::wstring& server) override;
  void OnPassStart() override;

  size_t PassCount() const { return passCount_; }
  // Every Class.Property the recording names, in the order first named.
  const std::vector<ListedColumn>& Columns() const { return columns_; }

 private:
  struct Answer {
    size_t pass;
    WmiCode code;
    std::vector<WmiValue> values;
  };
  struct ClassAnswers {
    size_t firstPass;
    std::map<std::wstring, std::vector<Answer>> properties;  // by folded name; answers in pass order
  };

  WmiReplaySource() = default;
  bool Parse(std::string_view utf8, const std::wstring& name, std::wstring& error);
  bool AddAnswer(std::wstring_view className, std::wstring_view property, Answer answer);

  friend std::unique_ptr<WmiReplaySource> ParseReplayText(const std::string& utf8, const std::wstring& name,
                                                          std::wstring& error);

  // Written only while parsing, read-only afterwards.
  std::map<std::wstring, ClassAnswers> classes_;  // by folded name
  std::vector<ListedColumn> columns_;
  size_t passCount_ = 0;

  std::mutex mutex_;
  size_t passesStarted_ = 0;  // never beyond passCount_
};

// A recording from its text; name is the file name used in messages. Nullptr,
// and error set to a message naming the file and line, when the text is not a
// valid recording.
std::unique_ptr<WmiReplaySource> ParseReplayText(const std::string& utf8, const std::wstring& name,
                                                 std::wstring& error);

// Nullptr, and error set to a message naming the file and line, when the file
// cannot be read or is not a valid recording.
std::unique_ptr<WmiReplaySource> LoadReplayFile(const std::wstring& path, std::wstring& error);
