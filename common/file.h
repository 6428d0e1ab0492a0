#pragma once
// A file held open without sharing: while one handle has it, every other open
// of it fails, in this process and in others. Only regular files open: a
// name that leads to a device, a pipe, a socket or a folder fails to open,
// without waiting and without being read or written.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class File {
 public:
  enum class Mode {
    ReadWriteCreate,  // read and write; created when missing, contents kept
    ReadExisting,     // read only; fails when missing
  };

  File() = default;
  // waitWhileHeld: how long to keep trying while another handle holds the
  // file (another copy of the program writing its log, say).
  File(const std::wstring& path, Mode mode, std::chrono::milliseconds waitWhileHeld = {});
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const;
  // -1 on failure.
  int64_t Length() const;
  // Bytes read, 0 at the end, -1 on failure.
  int64_t ReadAt(int64_t offset, void* buffer, size_t size) const;
  // True when every byte was written.
  bool WriteAt(int64_t offset, const void* data, size_t size);
  bool SetLength(int64_t length);

 private:
  // Opens into handle_; true when it failed only because another handle holds the file.
  bool Open(const std::wstring& path, Mode mode);
  void Close();
  // A file descriptor, or a HANDLE; -1 (INVALID_HANDLE_VALUE too) when closed.
  intptr_t handle_ = -1;
};

// Deletes a regular file; false when it could not (missing, in use, or not a
// regular file, which is never deleted).
bool RemoveFile(const std::wstring& path);
