#include <doctest/doctest.h>

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "common/file.h"
#include "common/utf16.h"
#include "log/event_log.h"
#include "log/log_lines.h"
#include "log/non_regular_files.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace {

struct RecordingView final : LogView {
  std::vector<std::wstring> lines;  // as the page would hold them, oldest first
  int clears = 0;
  void AddLogLine(const std::wstring& line) override { lines.push_back(line); }
  void ClearList() override { lines.clear(); ++clears; }
};

struct LogFixture {
  TempDir dir;
  Settings settings;
  EventLog log{settings.Log};
  RecordingView view;
  std::wstring path = dir.File(L"log.txt");
  LogFixture() { settings.Log.Filename.Set(path); }
  std::string Bytes() const { return ReadBytes(path); }
  std::wstring Text() const { return DecodeUtf16Le(Bytes()); }
};

std::string Utf16(const std::wstring& text) { return EncodeUtf16Le(text); }

}  // namespace

TEST_CASE("a line is tag, tab, time, tab, text, CR LF, in UTF-16LE without a byte-order mark") {
  LogFixture f;
  f.log.WriteLog(LogLevel::Info, L"Varnalis 1.4 application open.");
  f.log.WriteLog(LogLevel::Warning, L"with\ttab");
  f.log.WriteLog(LogLevel::Error, L"\u4e2d");
  f.log.WriteLog(LogLevel::Info, L"first half\r\nsecond half");  // two file lines, the second no row
  CHECK(f.Bytes().substr(0, 10) == std::string("I\0n\0f\0o\0\t\0", 10));
  std::wregex line(L"(Info|Warning|Error)\t\\d\\d:\\d\\d:\\d\\d [AP]M  \\d\\d [A-Z][a-z][a-z] \\d{4}\t(.*)\r\n");
  std::wstring text = f.Text();
  std::vector<std::wstring> texts;
  for (std::wsregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) texts.push_back((*it)[2]);
  CHECK(texts == std::vector<std::wstring>{L"Varnalis 1.4 application open.", L"with\ttab", L"\u4e2d", L"first half"});
  CHECK(text.ends_with(L"\tfirst half\r\nsecond half\r\n"));
  f.log.SetView(&f.view);
  REQUIRE(f.log.LoadFromFile(false));
  CHECK(f.view.lines.size() == 4);
}

TEST_CASE("the detail level and the log switch filter entries") {
  LogFixture f;
  using enum LogLevel;
  const struct { int32_t details; bool save; LogLevel level; bool written; } cases[] = {
      {2, true, Info, false}, {2, true, Warning, false}, {2, true, Error, true}, {1, true, Info, false},
      {1, true, Warning, true}, {0, true, Info, true}, {0, false, Error, false}};
  for (const auto& c : cases) {
    INFO(c.details, " ", static_cast<int>(c.level));
    f.settings.Log.Details = c.details;
    f.settings.Log.SaveLog = c.save;
    size_t before = f.Bytes().size();
    f.log.WriteLog(c.level, L"x");
    CHECK((f.Bytes().size() > before) == c.written);
  }
}

TEST_CASE("trim with a 1 MB limit cuts after the third line feed at or after the cut point; a smaller limit empties") {
  LogFixture f;
  f.settings.Log.LimitSize = true;
  f.settings.Log.MaxSize = 1;
  std::string old;
  for (int n = 0; old.size() < 1048600; ++n) old += Utf16(L"Info\tT\t" + std::to_wstring(n) + L"\r\n");
  old.resize(1048600);
  WriteBytes(f.path, old);
  f.log.SetView(&f.view);
  f.log.WriteLog(LogLevel::Info, L"new");

  size_t cut = 24, feeds = 0;
  for (; feeds < 3; cut += 2) feeds += old[cut] == '\n' && old[cut + 1] == '\0';
  std::string bytes = f.Bytes();
  REQUIRE(bytes.size() > old.size() - cut);
  CHECK(bytes.compare(0, old.size() - cut, old, cut) == 0);
  CHECK(DecodeUtf16Le(bytes.substr(old.size() - cut)).find(L"\tnew\r\n") != std::wstring::npos);
  // A trim reloads the whole page.
  CHECK(f.view.clears == 1);
  CHECK(f.view.lines.size() == static_cast<size_t>(kMaxLogRows));
  CHECK(f.view.lines.back().find(L"\tnew") != std::wstring::npos);

  for (int32_t size : {0, -5}) {  // less than three lines: nothing old is kept
    f.settings.Log.MaxSize = size;
    WriteBytes(f.path, Utf16(L"one\r\ntwo"));
    f.log.WriteLog(LogLevel::Error, L"last");
    CHECK(f.Text().substr(0, 6) == L"Error\t");
    f.log.WriteLog(LogLevel::Error, L"again");
    CHECK(f.Text().find(L"last") == std::wstring::npos);
  }
}

TEST_CASE("without a chosen limit the file is capped at 100 MB: exactly 100 MB is kept, two bytes more are cut") {
  LogFixture f;
  const int64_t limit = 104857600;
  const std::string lines = Utf16(L"a\r\nb\r\nc\r\nkept\r\n");
  for (int64_t extra : {0, 2}) {
    CAPTURE(extra);
    {
      File file(f.path, File::Mode::ReadWriteCreate);
      REQUIRE(file.SetLength(limit + extra));
      REQUIRE(file.WriteAt(2, lines.data(), lines.size()));
    }
    f.log.WriteLog(LogLevel::Info, L"x");
    File file(f.path, File::Mode::ReadExisting);
    std::string head(12, '\0');
    REQUIRE(file.ReadAt(0, head.data(), head.size()) == 12);
    CHECK(head == (extra ? Utf16(L"kept\r\n") : (std::string(2, '\0') + lines).substr(0, 12)));
    int64_t kept = extra ? limit + 2 - 20 : limit;  // cut: two bytes, then "a\r\nb\r\nc\r\n"
    CHECK(file.Length() > kept);
    CHECK(file.Length() < kept + 200);
  }
}

TEST_CASE("a torn or held file drops only what it must") {
  LogFixture f;
  // An odd byte count: the torn unit goes, the new line starts aligned.
  WriteBytes(f.path, Utf16(L"Info\tT\told\r\n") + "X");
  f.log.WriteLog(LogLevel::Info, L"new");
  CHECK(f.Bytes().size() % 2 == 0);
  CHECK(f.Text().substr(0, 12) == L"Info\tT\told\r\n");
  CHECK(f.Text().find(L"\tnew\r\n") != std::wstring::npos);

  // A file held by someone else.
  WriteBytes(f.path, Utf16(L"Info\tT\tkept\r\n"));
  {
    File holder(f.path, File::Mode::ReadWriteCreate);
    REQUIRE(holder.IsOpen());
    f.log.WriteLog(LogLevel::Error, L"dropped");
    f.log.SetView(&f.view);
    CHECK_FALSE(f.log.LoadFromFile(false));
  }
  CHECK(f.Text() == L"Info\tT\tkept\r\n");
  f.log.WriteLog(LogLevel::Error, L"written");
  CHECK(f.Text().find(L"written") != std::wstring::npos);
}

TEST_CASE("loading fills the view with the newest 501 rows with two tabs, oldest first; clearing empties it") {
  LogFixture f;
  std::wstring text;
  for (int i = 0; i < 600; ++i) {
    text += L"Info\tT\t" + std::to_wstring(i) + L"\r\n";
    if (i % 100 == 0) text += L"no tabs here\r\n";
  }
  WriteBytes(f.path, Utf16(text + L"Error\tT\tincomplete"));
  f.log.SetView(&f.view);
  REQUIRE(f.log.LoadFromFile(false));
  REQUIRE(f.view.lines.size() == 501);
  CHECK(f.view.lines.front() == L"Info\tT\t99");
  CHECK(f.view.lines.back() == L"Info\tT\t599");
  f.view.lines.clear();
  REQUIRE(f.log.LoadFromFile(true));
  CHECK(f.view.lines == std::vector<std::wstring>{L"Info\tT\t599"});

  // Clearing deletes the file and empties the view; with no file it is no error.
  f.log.ClearLogFile();
  CHECK_FALSE(File(f.path, File::Mode::ReadExisting).IsOpen());
  CHECK(f.view.clears == 1);
  f.log.ClearLogFile();
  CHECK(f.view.clears == 2);
  f.log.WriteLog(LogLevel::Info, L"b");
  CHECK(f.view.lines.size() == 1);
}

TEST_CASE("writers on several threads never interleave lines; views attached meanwhile get each line once, in order") {
  LogFixture f;
  std::atomic<int> finished{0};
  auto writer = [&](wchar_t mark) {
    for (int i = 1000; i < 1200; ++i) f.log.WriteLog(LogLevel::Info, std::wstring(50, mark) + std::to_wstring(i));
    ++finished;
  };
  std::thread a(writer, L'a'), b(writer, L'b');
  // Views come and go as the page is shown and left; each must see a gapless run of each writer's lines.
  std::vector<std::unique_ptr<RecordingView>> views;
  while (finished < 2) {
    views.push_back(std::make_unique<RecordingView>());
    f.log.AttachView(*views.back());
    f.log.SetView(nullptr);
  }
  a.join();
  b.join();
  std::wstring text = f.Text();
  std::wregex line(L"Info\t[^\t]*\t(a{50}|b{50})1\\d{3}\r\n");
  size_t count = std::distance(std::wsregex_iterator(text.begin(), text.end(), line), std::wsregex_iterator());
  CHECK(count == 400);
  CHECK(text.size() == count * text.find(L'\n') + count);
  for (const auto& view : views) {
    std::map<wchar_t, int> last;
    for (const std::wstring& row : view->lines) {
      std::wstring message = SplitLogLine(row)->message;
      int shown = std::stoi(message.substr(50));
      if (last.contains(message[0])) REQUIRE(shown == last[message[0]] + 1);
      last[message[0]] = shown;
    }
  }
}

TEST_CASE("what is not a regular file is never cleared, written or read as the log, and reading never waits") {
  TempDir dir;
  for (SpecialNode& node : MakeSpecialNodes(dir)) {
    CAPTURE(node.what);
    Settings settings;
    settings.Log.Filename.Set(node.path);
    EventLog log(settings.Log);
    RecordingView view;
    log.SetView(&view);
    log.ClearLogFile();
    log.WriteLog(LogLevel::Error, L"dropped");
    auto read = std::async(std::launch::async, [&] { return log.LoadFromFile(false); });
    bool waited = read.wait_for(std::chrono::seconds(5)) == std::future_status::timeout;
    if (waited) node.release();
    CHECK_FALSE(waited);
    CHECK_FALSE(read.get());
    CHECK(view.lines.empty());
    CHECK(node.intact());
  }
}
