#include <doctest/doctest.h>

#include <regex>
#include <thread>

#include "common/file.h"
#include "common/utf16.h"
#include "log/event_log.h"
#include "log/log_lines.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace {

struct RecordingView final : LogView {
  std::vector<std::wstring> lines;  // as the page would hold them, oldest first
  int clears = 0;
  void AddLogLine(const std::wstring& line) override { lines.push_back(line); }
  void ClearList() override {
    lines.clear();
    ++clears;
  }
};

struct LogFixture {
  TempDir dir;
  Settings settings;
  EventLog log{settings.Log};
  std::wstring path = dir.File(L"log.txt");
  LogFixture() { settings.Log.Filename.Set(path); }
  std::string Bytes() const { return ReadBytes(path); }
  std::wstring Text() const { return DecodeUtf16Le(Bytes()); }
};

std::string Utf16(const std::wstring& text) { return EncodeUtf16Le(text); }

// A file of `size` bytes made of numbered lines "Info\tT\tN\r\n".
std::string LinesOfSize(size_t size) {
  std::string bytes;
  for (int n = 0; bytes.size() < size; ++n) bytes += Utf16(L"Info\tT\t" + std::to_wstring(n) + L"\r\n");
  bytes.resize(size);
  return bytes;
}

}  // namespace

TEST_CASE("a line is tag, tab, time, tab, text, CR LF, in UTF-16LE without a byte-order mark") {
  LogFixture f;
  f.log.WriteLog(LogLevel::Info, L"Varnalis 1.4 application open.");
  f.log.WriteLog(LogLevel::Warning, L"with\ttab");
  f.log.WriteLog(LogLevel::Error, L"\u4e2d");
  std::string bytes = f.Bytes();
  CHECK(bytes.substr(0, 10) == std::string("I\0n\0f\0o\0\t\0", 10));
  CHECK(bytes.size() % 2 == 0);
  std::wregex line(L"(Info|Warning|Error)\t\\d\\d:\\d\\d:\\d\\d [AP]M  \\d\\d [A-Z][a-z][a-z] \\d{4}\t(.*)\r\n");
  std::wstring text = f.Text();
  std::vector<std::wstring> texts;
  for (std::wsregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) texts.push_back((*it)[2]);
  CHECK(texts == std::vector<std::wstring>{L"Varnalis 1.4 application open.", L"with\ttab", L"\u4e2d"});
}

TEST_CASE("the detail level and the log switch filter entries") {
  LogFixture f;
  RecordingView view;
  f.log.SetView(&view);
  f.settings.Log.Details = 2;
  f.log.WriteLog(LogLevel::Info, L"i");
  f.log.WriteLog(LogLevel::Warning, L"w");
  CHECK(f.Bytes().empty());
  f.log.WriteLog(LogLevel::Error, L"e");
  f.settings.Log.Details = 1;
  f.log.WriteLog(LogLevel::Info, L"i");
  f.log.WriteLog(LogLevel::Warning, L"w");
  f.settings.Log.SaveLog = false;
  f.settings.Log.Details = 0;
  f.log.WriteLog(LogLevel::Error, L"off");
  REQUIRE(view.lines.size() == 2);
  CHECK(view.lines[0].substr(0, 6) == L"Error\t");
  CHECK(view.lines[1].substr(0, 8) == L"Warning\t");
  CHECK(f.Text().find(L"off") == std::wstring::npos);
}

TEST_CASE("trim with a 1 MB limit cuts after the third line feed at or after the cut point") {
  LogFixture f;
  f.settings.Log.LimitSize = true;
  f.settings.Log.MaxSize = 1;
  std::string old = LinesOfSize(1048600);
  WriteBytes(f.path, old);
  RecordingView view;
  f.log.SetView(&view);
  f.log.WriteLog(LogLevel::Info, L"new");

  size_t cut = 24, feeds = 0;
  for (; feeds < 3; cut += 2) feeds += old[cut] == '\n' && old[cut + 1] == '\0';
  std::string bytes = f.Bytes();
  REQUIRE(bytes.size() > old.size() - cut);
  CHECK(bytes.compare(0, old.size() - cut, old, cut) == 0);
  CHECK(DecodeUtf16Le(bytes.substr(old.size() - cut)).find(L"\tnew\r\n") != std::wstring::npos);
  // A trim reloads the whole page.
  CHECK(view.clears == 1);
  CHECK(view.lines.size() == static_cast<size_t>(kMaxLogRows));
  CHECK(view.lines.back().find(L"\tnew") != std::wstring::npos);
}

TEST_CASE("without a chosen limit the file is capped at 100 MB") {
  LogFixture f;
  const int64_t limit = 104857600;
  SUBCASE("exactly 100 MB is kept") {
    {
      File file(f.path, File::Mode::ReadWriteCreate);
      REQUIRE(file.SetLength(limit));
    }
    f.log.WriteLog(LogLevel::Info, L"x");
    File file(f.path, File::Mode::ReadExisting);
    CHECK(file.Length() > limit);
  }
  SUBCASE("two bytes more are trimmed") {
    {
      File file(f.path, File::Mode::ReadWriteCreate);
      REQUIRE(file.SetLength(limit + 2));
      std::string lines = Utf16(L"a\r\nb\r\nc\r\nkept\r\n");
      REQUIRE(file.WriteAt(2, lines.data(), lines.size()));
    }
    f.log.WriteLog(LogLevel::Info, L"x");
    File file(f.path, File::Mode::ReadExisting);
    std::string head(12, '\0');
    REQUIRE(file.ReadAt(0, head.data(), head.size()) == 12);
    CHECK(head == Utf16(L"kept\r\n"));
    int64_t kept = limit + 2 - Utf16(L"?a\r\nb\r\nc\r\n").size();
    CHECK(file.Length() > kept);
    CHECK(file.Length() < kept + 200);
  }
}

TEST_CASE("a limit smaller than three lines empties the file before the new line") {
  LogFixture f;
  f.settings.Log.LimitSize = true;
  for (int32_t size : {0, -5}) {
    f.settings.Log.MaxSize = size;
    WriteBytes(f.path, Utf16(L"one\r\ntwo"));
    f.log.WriteLog(LogLevel::Error, L"last");
    std::wstring text = f.Text();
    CHECK(text.substr(0, 6) == L"Error\t");
    CHECK(text.find(L"one") == std::wstring::npos);
    f.log.WriteLog(LogLevel::Error, L"again");
    CHECK(f.Text().find(L"last") == std::wstring::npos);
  }
}

TEST_CASE("bad files and paths drop the entry and nothing else") {
  LogFixture f;
  SUBCASE("odd byte count: the torn unit goes, the new line starts aligned") {
    WriteBytes(f.path, Utf16(L"Info\tT\told\r\n") + "X");
    f.log.WriteLog(LogLevel::Info, L"new");
    std::wstring text = f.Text();
    CHECK(f.Bytes().size() % 2 == 0);
    CHECK(text.substr(0, 12) == L"Info\tT\told\r\n");
    CHECK(text.find(L"\tnew\r\n") != std::wstring::npos);
  }
  SUBCASE("a file held by someone else") {
    WriteBytes(f.path, Utf16(L"Info\tT\tkept\r\n"));
    {
      File holder(f.path, File::Mode::ReadWriteCreate);
      REQUIRE(holder.IsOpen());
      f.log.WriteLog(LogLevel::Error, L"dropped");
      RecordingView view;
      f.log.SetView(&view);
      CHECK_FALSE(f.log.LoadFromFile(false));
      f.log.SetView(nullptr);
    }
    CHECK(f.Text() == L"Info\tT\tkept\r\n");
    f.log.WriteLog(LogLevel::Error, L"written");
    CHECK(f.Text().find(L"written") != std::wstring::npos);
  }
  SUBCASE("a folder, a missing folder") {
    f.settings.Log.Filename.Set(f.dir.Path().wstring());
    f.log.WriteLog(LogLevel::Error, L"x");
    f.settings.Log.Filename.Set(f.dir.File(L"no/such/folder/log.txt"));
    f.log.WriteLog(LogLevel::Error, L"x");
    CHECK_FALSE(f.log.LoadFromFile(true));
  }
}

TEST_CASE("clearing deletes the file and empties the view") {
  LogFixture f;
  RecordingView view;
  f.log.SetView(&view);
  f.log.WriteLog(LogLevel::Info, L"a");
  f.log.ClearLogFile();
  CHECK_FALSE(File(f.path, File::Mode::ReadExisting).IsOpen());
  CHECK(view.clears == 1);
  f.log.ClearLogFile();  // no file: not an error
  CHECK(view.clears == 2);
  f.log.WriteLog(LogLevel::Info, L"b");  // created again
  CHECK(view.lines.size() == 1);
}

TEST_CASE("loading fills the view with the newest 501 rows, oldest first") {
  LogFixture f;
  std::wstring text;
  for (int i = 0; i < 600; ++i) {
    text += L"Info\tT\t" + std::to_wstring(i) + L"\r\n";
    if (i % 100 == 0) text += L"no tabs here\r\n";
  }
  text += L"Error\tT\tincomplete";
  WriteBytes(f.path, Utf16(text));
  RecordingView view;
  f.log.SetView(&view);
  REQUIRE(f.log.LoadFromFile(false));
  REQUIRE(view.lines.size() == 501);
  CHECK(view.lines.front() == L"Info\tT\t99");
  CHECK(view.lines.back() == L"Info\tT\t599");
  view.lines.clear();
  REQUIRE(f.log.LoadFromFile(true));
  CHECK(view.lines == std::vector<std::wstring>{L"Info\tT\t599"});
}

TEST_CASE("an entry holding CR LF becomes two file lines; one without two tabs is no row") {
  LogFixture f;
  RecordingView view;
  f.log.SetView(&view);
  f.log.WriteLog(LogLevel::Warning, L"first half\r\nsecond half");
  REQUIRE(view.lines.size() == 1);  // the last line, "second half", is handed over...
  CHECK(view.lines[0] == L"second half");
  CHECK_FALSE(SplitLogLine(view.lines[0]));  // ...and the page skips it
  view.lines.clear();
  f.log.LoadFromFile(false);
  REQUIRE(view.lines.size() == 1);
  auto row = SplitLogLine(view.lines[0]);
  REQUIRE(row);
  CHECK(row->type == L"Warning");
  CHECK(row->message == L"first half");
}

TEST_CASE("writers on several threads never interleave lines") {
  LogFixture f;
  RecordingView view;
  f.log.SetView(&view);
  auto writer = [&f](wchar_t mark) {
    for (int i = 0; i < 200; ++i) f.log.WriteLog(LogLevel::Info, std::wstring(50, mark));
  };
  std::thread a(writer, L'a'), b(writer, L'b');
  for (int i = 0; i < 20; ++i) f.log.LoadFromFile(false);
  a.join();
  b.join();
  std::wstring text = f.Text();
  std::wregex line(L"Info\t[^\t]*\t(a{50}|b{50})\r\n");
  size_t count = std::distance(std::wsregex_iterator(text.begin(), text.end(), line), std::wsregex_iterator());
  CHECK(count == 400);
  CHECK(text.size() == count * text.find(L'\n') + count);
}
