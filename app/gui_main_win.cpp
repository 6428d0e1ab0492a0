#include <windows.h>

#include "app/quor_app_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  QuorApp app;
  return app.Run(commandLine != nullptr ? commandLine : L"");
}
