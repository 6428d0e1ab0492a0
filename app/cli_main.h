#pragma once
#include <string>
#include <vector>

// The console program; args without the program name. Returns the exit code.
int RunCli(std::vector<std::wstring> args);
