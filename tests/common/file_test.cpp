#include <doctest/doctest.h>

#include "common/file.h"
#include "support/temp_dir.h"

TEST_CASE("a file is held without sharing; folders and missing files do not open") {
  TempDir dir;
  std::wstring path = dir.File(L"held.txt");
  CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK_FALSE(RemoveFile(path));
  {
    File first(path, File::Mode::ReadWriteCreate);
    REQUIRE(first.IsOpen());
    CHECK_FALSE(File(path, File::Mode::ReadWriteCreate).IsOpen());
    CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
  }
  CHECK(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK(RemoveFile(path));
  CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK_FALSE(File(dir.Path().wstring(), File::Mode::ReadWriteCreate).IsOpen());
  CHECK_FALSE(File(dir.Path().wstring(), File::Mode::ReadExisting).IsOpen());
}

TEST_CASE("positional reads and writes, length, cut") {
  TempDir dir;
  File file(dir.File(L"data.bin"), File::Mode::ReadWriteCreate);
  REQUIRE(file.IsOpen());
  CHECK(file.Length() == 0);
  REQUIRE(file.WriteAt(0, "hello world", 11));
  REQUIRE(file.WriteAt(6, "WORLD", 5));
  char buf[32] = {};
  CHECK(file.ReadAt(0, buf, sizeof buf) == 11);
  CHECK(std::string(buf, 11) == "hello WORLD");
  CHECK(file.ReadAt(11, buf, sizeof buf) == 0);
  REQUIRE(file.SetLength(5));
  CHECK(file.Length() == 5);
  File moved = std::move(file);
  CHECK_FALSE(file.IsOpen());
  CHECK(moved.Length() == 5);
}
