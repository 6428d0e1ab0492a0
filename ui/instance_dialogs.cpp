#include "ui/instance_dialogs.h"
bool RunAdvancedSettings(int, HWND, const ConnectionSettings&, EngineAccess&, std::wstring&) { return false; }
