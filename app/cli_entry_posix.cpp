#include <clocale>

#include "app/cli_main.h"
#include "common/utf16.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) {
    std::string bytes = argv[i];
    std::wstring text;
    if (!FromUtf8(bytes, text)) text = WidenBytes(bytes);  // not UTF-8: byte by byte
    args.push_back(text);
  }
  return RunCli(args);
}
