#include "log/event_log.h"

#include <vector>

#include "common/file.h"
#include "common/time_text.h"
#include "common/utf16.h"
#include "log/log_lines.h"
#include "log/log_trim.h"
#include "settings/settings.h"

namespace {

constexpr int64_t kMegabyte = 1048576;
constexpr int64_t kDefaultLimit = 100 * kMegabyte;
// Another copy of the program may be writing its last entries (one exiting as
// the next starts): its entry takes milliseconds, this one waits for it.
constexpr std::chrono::milliseconds kHeldWait(2000);

const wchar_t* LevelTag(LogLevel level) {
  switch (level) {
    case LogLevel::Warning:
      return L"Warning\t";
    case LogLevel::Error:
      return L"Error\t";
    case LogLevel::Info:
      break;
  }
  return L"Info\t";
}

}  // namespace

EventLog::EventLog(const LogSettings& settings) : settings_(settings) {}

void EventLog::SetView(LogView* view) {
  std::lock_guard guard(lock_);
  view_ = view;
}

bool EventLog::AttachView(LogView& view) {
  std::lock_guard guard(lock_);
  view_ = &view;
  return LoadFromFile(false);
}

void EventLog::WriteLog(LogLevel level, const std::wstring& text) {
  std::lock_guard guard(lock_);
  int32_t details = settings_.Details;
  if ((level == LogLevel::Info && (details == 1 || details == 2)) || (level == LogLevel::Warning && details == 2))
    return;
  if (!settings_.SaveLog) return;

  bool trimmed = false;
  {
    File file(settings_.Filename.Get(), File::Mode::ReadWriteCreate, kHeldWait);
    if (!file.IsOpen()) return;
    int64_t length = file.Length();
    if (length < 0) return;
    // An odd length means a torn code unit at the end; drop that byte so the
    // new line starts on a code unit boundary.
    if (length % 2 != 0 && file.SetLength(--length) == false) return;
    int64_t limit = settings_.LimitSize ? int64_t{settings_.MaxSize} * kMegabyte : kDefaultLimit;
    if (length > limit) {
      if (!TrimLogFile(file, length, limit)) return;
      trimmed = true;
      length = file.Length();
    }
    std::string line = EncodeUtf16Le(LevelTag(level) + NowText() + L"\t" + text + L"\r\n");
    if (!file.WriteAt(length, line.data(), line.size())) return;
  }
  if (view_ == nullptr) return;
  if (trimmed) {
    view_->ClearList();
    LoadFromFile(false);
  } else {
    LoadFromFile(true);
  }
}

void EventLog::ClearLogFile() {
  std::lock_guard guard(lock_);
  RemoveFile(settings_.Filename.Get());
  if (view_ != nullptr) view_->ClearList();
}

bool EventLog::LoadFromFile(bool lastOnly) {
  std::lock_guard guard(lock_);
  File file(settings_.Filename.Get(), File::Mode::ReadExisting);
  if (!file.IsOpen()) return false;
  if (view_ == nullptr) return true;
  ReverseLineReader reader(file);
  if (lastOnly) {
    if (std::optional<std::wstring> line = reader.Previous()) view_->AddLogLine(*line);
    return true;
  }
  // Lines without two tabs never become rows, so they do not count.
  std::vector<std::wstring> newest;
  while (newest.size() < static_cast<size_t>(kMaxLogRows)) {
    std::optional<std::wstring> line = reader.Previous();
    if (!line) break;
    if (SplitLogLine(*line)) newest.push_back(std::move(*line));
  }
  for (auto it = newest.rbegin(); it != newest.rend(); ++it) view_->AddLogLine(*it);
  return true;
}
