#include <doctest/doctest.h>

#include <random>

#include "common/file.h"
#include "common/utf16.h"
#include "log/log_lines.h"
#include "support/temp_dir.h"

namespace {

// Complete lines of the text, read forwards: the reference the reverse reader must match.
std::vector<std::wstring> ForwardLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0, crlf;
  while ((crlf = text.find(L"\r\n", start)) != std::wstring::npos) {
    lines.push_back(text.substr(start, std::min(crlf - start, kMaxLogLineUnits)));
    start = crlf + 2;
  }
  return lines;
}

std::vector<std::wstring> BackwardLines(const std::wstring& path) {
  File file(path, File::Mode::ReadExisting);
  ReverseLineReader reader(file);
  std::vector<std::wstring> lines;
  while (auto line = reader.Previous()) lines.insert(lines.begin(), *line);
  return lines;
}

}  // namespace

TEST_CASE("reading lines from the end matches reading them from the start") {
  TempDir dir;
  std::wstring path = dir.File(L"lines.txt");
  std::mt19937 rng(12345);
  // Line lengths around the 64 KB chunk and the line cap put CR LF on every kind of boundary.
  const size_t lengths[] = {0, 1, 2, 100, 32767, 32768, 32769, 65535, 65536, 70000};
  for (int round = 0; round < 25; ++round) {
    std::wstring text;
    int lines = rng() % 8;
    for (int i = 0; i < lines; ++i) {
      size_t length = rng() % 3 == 0 ? lengths[rng() % 10] : rng() % 40;
      for (size_t k = 0; k < length; ++k) {
        static const wchar_t kAlphabet[] = L"ab\t\r\n\u00e9";
        text += kAlphabet[rng() % 6];
      }
      text += L"\r\n";
    }
    if (rng() % 2) text += L"tail without an end";
    std::string bytes = EncodeUtf16Le(text);
    if (rng() % 4 == 0) bytes += 'Z';  // odd length
    WriteBytes(path, bytes);
    CAPTURE(round);
    CHECK(BackwardLines(path) == ForwardLines(text));
  }
}

TEST_CASE("edge files") {
  TempDir dir;
  std::wstring path = dir.File(L"lines.txt");
  auto lines = [&](const std::wstring& text) {
    WriteBytes(path, EncodeUtf16Le(text));
    return BackwardLines(path);
  };
  using V = std::vector<std::wstring>;
  CHECK(lines(L"") == V{});
  CHECK(lines(L"\r\n") == V{L""});
  CHECK(lines(L"\r\n\r\n") == V{L"", L""});
  CHECK(lines(L"no end") == V{});
  CHECK(lines(L"a\rb\nc\r\n") == V{L"a\rb\nc"});  // a lone CR or LF does not end a line
  CHECK(lines(L"\n\r\n\r") == V{L"\n"});
}

TEST_CASE("splitting a line into type, time and message") {
  auto row = SplitLogLine(L" Warning \t\r03:04:05 PM  05 Dec 2026 \t msg\twith tab ");
  REQUIRE(row);
  CHECK(row->type == L"Warning");
  CHECK(row->time == L"03:04:05 PM  05 Dec 2026");
  CHECK(row->message == L" msg\twith tab ");
  CHECK_FALSE(SplitLogLine(L"one\ttab"));
  CHECK_FALSE(SplitLogLine(L""));
  auto empty = SplitLogLine(L"\t\t");
  REQUIRE(empty);
  CHECK(empty->type.empty());
}
