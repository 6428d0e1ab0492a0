#pragma once
// The system's Open dialog, run where shell extensions expect it: the user
// interface thread lives in the multithreaded COM apartment, so the dialog
// gets a short-lived thread of its own in a single-threaded one.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// Runs work on a new thread that has entered a single-threaded apartment and
// returns when it is done. The calling thread keeps handling its messages
// meanwhile; a quit that comes then closes the work's windows and is posted
// again afterwards.
void RunInSingleThreadedApartment(const std::function<void()>& work);

// Asks for a file, modal to owner, starting at current; the chosen path, or
// nothing when the user cancels. The process's current folder stays as it is.
std::optional<std::wstring> AskFileToOpen(HWND owner, const std::wstring& current,
                                          const wchar_t* defaultExtension = nullptr);
