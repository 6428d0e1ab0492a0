#include "common/file.h"

#include <windows.h>

#include "common/scoped_win.h"

namespace {
HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

OVERLAPPED At(int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// ReadFile and WriteFile take 32-bit counts.
DWORD ChunkOf(size_t size) { return size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size); }

// Only a file on a disk counts: a device name ("NUL", "CON", "COM1"), a pipe
// or a folder is never read, written or deleted as one.
bool IsDiskFile(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The handle when it is a disk file, else closed.
ScopedHandle KeepDiskFile(ScopedHandle h) {
  if (h && !IsDiskFile(h.Get())) h.Reset();
  return h;
}
}  // namespace

bool File::Open(const std::wstring& path, Mode mode) {
  bool write = mode == Mode::ReadWriteCreate;
  DWORD access = write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  ScopedHandle opened(CreateFileW(path.c_str(), access, 0, nullptr, write ? OPEN_ALWAYS : OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  bool held = !opened && GetLastError() == ERROR_SHARING_VIOLATION;
  ScopedHandle h = KeepDiskFile(std::move(opened));
  handle_ = h ? reinterpret_cast<intptr_t>(h.Release()) : -1;
  return held;
}

void File::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

int64_t File::Length() const {
  LARGE_INTEGER size{};
  if (!IsOpen() || !GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

int64_t File::ReadAt(int64_t offset, void* buffer, size_t size) const {
  if (!IsOpen()) return -1;
  auto p = static_cast<char*>(buffer);
  int64_t total = 0;
  while (size > 0) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), p, ChunkOf(size), &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return total > 0 ? total : -1;
    }
    if (got == 0) break;
    p += got;
    offset += got;
    size -= got;
    total += got;
  }
  return total;
}

bool File::WriteAt(int64_t offset, const void* data, size_t size) {
  if (!IsOpen()) return false;
  auto p = static_cast<const char*>(data);
  while (size > 0) {
    OVERLAPPED at = At(offset);
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), p, ChunkOf(size), &put, &at) || put == 0) return false;
    p += put;
    offset += put;
    size -= put;
  }
  return true;
}

bool File::SetLength(int64_t length) {
  if (!IsOpen()) return false;
  LARGE_INTEGER at{};
  at.QuadPart = length;
  return SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN) && SetEndOfFile(AsHandle(handle_));
}

bool RemoveFile(const std::wstring& path) {
  // Deleted through the handle that was checked, so the name cannot change
  // hands in between; no sharing, so a file in use stays.
  ScopedHandle h = KeepDiskFile(ScopedHandle(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!h) return false;
  FILE_DISPOSITION_INFO dispose{TRUE};
  return SetFileInformationByHandle(h.Get(), FileDispositionInfo, &dispose, sizeof dispose) != 0;
}
