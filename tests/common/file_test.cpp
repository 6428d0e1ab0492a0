#include <doctest/doctest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "common/file.h"
#include "support/temp_dir.h"

TEST_CASE("a file is held without sharing and read and written by position; folders and missing files do not open") {
  TempDir dir;
  std::wstring path = dir.File(L"held.txt");
  CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK_FALSE(RemoveFile(path));
  {
    File first(path, File::Mode::ReadWriteCreate);
    REQUIRE(first.IsOpen());
    CHECK_FALSE(File(path, File::Mode::ReadWriteCreate).IsOpen());
    CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
    REQUIRE(first.WriteAt(0, "hello world", 11));
    REQUIRE(first.WriteAt(6, "WORLD", 5));
    char buf[32] = {};
    CHECK(first.ReadAt(0, buf, sizeof buf) == 11);
    CHECK(std::string(buf, 11) == "hello WORLD");
    CHECK(first.ReadAt(11, buf, sizeof buf) == 0);
    REQUIRE(first.SetLength(5));
    File moved = std::move(first);  // one owner, one close
    CHECK_FALSE(first.IsOpen());
    CHECK(moved.Length() == 5);
  }
  CHECK(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK(RemoveFile(path));
  CHECK_FALSE(File(path, File::Mode::ReadExisting).IsOpen());
  CHECK_FALSE(File(dir.Path().wstring(), File::Mode::ReadWriteCreate).IsOpen());
  CHECK_FALSE(File(dir.Path().wstring(), File::Mode::ReadExisting).IsOpen());
}

TEST_CASE("an open that may wait gets a file once its holder lets go, and never waits on a name that cannot open") {
  TempDir dir;
  std::wstring path = dir.File(L"held.txt");
  auto holder = std::make_unique<File>(path, File::Mode::ReadWriteCreate);
  REQUIRE(holder->IsOpen());
  std::atomic<bool> trying{false};
  bool opened = false;
  std::thread next([&] {
    trying = true;
    opened = File(path, File::Mode::ReadWriteCreate, std::chrono::seconds(30)).IsOpen();
  });
  while (!trying) std::this_thread::yield();
  holder.reset();
  next.join();
  CHECK(opened);
  // A folder is no file held by someone: a wait of this length would end the test program.
  CHECK_FALSE(File(dir.Path().wstring(), File::Mode::ReadExisting, std::chrono::hours(1)).IsOpen());
}
