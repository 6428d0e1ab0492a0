#include <windows.h>

#include <memory>

#include "log/non_regular_files.h"
#include "support/temp_dir.h"

std::vector<SpecialNode> MakeSpecialNodes(const TempDir& dir) {
  std::vector<SpecialNode> nodes;
  nodes.push_back({.what = "NUL", .path = L"NUL", .intact = [] { return true; }});

  std::wstring pipeName = L"\\\\.\\pipe\\varnalis-log-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096,
                                 0, nullptr);
  if (pipe != INVALID_HANDLE_VALUE) {
    auto held = std::shared_ptr<void>(pipe, CloseHandle);
    nodes.push_back({.what = "named pipe", .path = pipeName, .intact = [] { return true; }, .keep = held});
  }

  std::wstring folder = dir.File(L"folder");
  bool made = CreateDirectoryW(folder.c_str(), nullptr) != 0;
  nodes.push_back({.what = "folder", .path = folder, .intact = [folder, made] {
                     DWORD attributes = GetFileAttributesW(folder.c_str());
                     return made && attributes != INVALID_FILE_ATTRIBUTES &&
                            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                   }});
  return nodes;
}
