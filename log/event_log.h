#pragma once
// The event log: one line per entry in a UTF-16LE text file, shown newest
// first by the Log page.
#include <cstdint>
#include <mutex>
#include <string>

struct LogSettings;

enum class LogLevel : int32_t { Info = 0, Warning = 1, Error = 2 };

// Rows the Log page shows at most.
inline constexpr int kMaxLogRows = 501;

// The Log page, or whatever shows the log; called under the log lock, from
// whichever thread writes, so it must never wait on another thread.
class LogView {
 public:
  virtual ~LogView() = default;
  virtual void AddLogLine(const std::wstring& line) = 0;
  virtual void ClearList() = 0;
};

class EventLog {
 public:
  explicit EventLog(const LogSettings& settings);

  // Records one entry; callable from any thread; failures are silent.
  void WriteLog(LogLevel level, const std::wstring& text);
  // Deletes the file and empties the view.
  void ClearLogFile();
  // All rows the view can hold (the newest kMaxLogRows complete lines with two
  // tabs, oldest first), or with lastOnly only the file's last complete line.
  // False when the file could not be opened.
  bool LoadFromFile(bool lastOnly);

  // The view while it exists; nullptr when it goes.
  void SetView(LogView* view);
  // Makes view the view and fills it from the whole file in one hold of the
  // lock, so a line written meanwhile on another thread reaches it once:
  // either in the fill or after it. False when the file could not be opened.
  bool AttachView(LogView& view);

 private:
  const LogSettings& settings_;
  std::recursive_mutex lock_;  // the view may call back in while a write holds it
  LogView* view_ = nullptr;
};
