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
  for (size_t start = 0, crlf; (crlf = text.find(L"\r\n", start)) != std::wstring::npos; start = crlf + 2) {
    lines.push_back(text.substr(start, std::min(crlf - start, kMaxLogLineUnits)));
  }
  return lines;
}

}  // namespace

TEST_CASE("reading lines from the end matches reading them from the start") {
  TempDir dir;
  std::wstring path = dir.File(L"lines.txt");
  std::mt19937 rng(12345);
  // A lone CR or LF does not end a line; text after the last CR LF is no line.
  const std::wstring edges[] = {L"", L"\r\n", L"\r\n\r\n", L"no end", L"a\rb\nc\r\n", L"\n\r\n\r"};
  // Line lengths around the 64 KB chunk and the line cap put CR LF on every kind of boundary.
  const size_t lengths[] = {0, 1, 2, 100, 32767, 32768, 32769, 65535, 65536, 70000};
  for (size_t round = 0; round < std::size(edges) + 25; ++round) {
    std::wstring text = round < std::size(edges) ? edges[round] : L"";
    for (int i = round < std::size(edges) ? 0 : rng() % 8; i > 0; --i) {
      for (size_t k = rng() % 3 == 0 ? lengths[rng() % 10] : rng() % 40; k > 0; --k) text += L"ab\t\r\n\u00e9"[rng() % 6];
      text += L"\r\n";
    }
    if (round >= std::size(edges) && rng() % 2) text += L"tail without an end";
    std::string bytes = EncodeUtf16Le(text);
    if (round >= std::size(edges) && rng() % 4 == 0) bytes += 'Z';  // odd length
    WriteBytes(path, bytes);
    CAPTURE(round);
    File file(path, File::Mode::ReadExisting);
    ReverseLineReader reader(file);
    std::vector<std::wstring> lines;
    while (auto line = reader.Previous()) lines.insert(lines.begin(), *line);
    CHECK(lines == ForwardLines(text));
  }
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
