#pragma once
// placeholder until the family lands
#include <windows.h>
#include <string>
struct ConnectionSettings;
class EngineAccess;
bool RunAdvancedSettings(int row, HWND parent, const ConnectionSettings& connection, EngineAccess& engine, std::wstring& chosen);
