#pragma once
// Names a log file setting may lead to that are not regular files, made for
// one test and gone with its folder.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TempDir;

struct SpecialNode {
  std::string what;
  std::wstring path;
  std::function<bool()> intact;  // still there, still what it was
  // Undoes a read that waits on the node (a FIFO); nothing where none can.
  std::function<void()> release = [] {};
  std::shared_ptr<void> keep = nullptr;  // what the node needs kept open (a socket, a pipe)
};

std::vector<SpecialNode> MakeSpecialNodes(const TempDir& dir);
