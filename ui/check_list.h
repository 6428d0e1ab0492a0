#pragma once
// What the pages' list views with check boxes share: attaching their image
// lists, and telling a user's check-box toggle from the list's own first
// image of a new row.
#include <windows.h>
#include <commctrl.h>

// Gives the list the page's icons and check-box images. The page owns them
// (the list has LVS_SHAREIMAGELISTS); the check-box images the list made for
// itself are freed here.
void AttachImageLists(HWND list, HIMAGELIST icons, HIMAGELIST checks);
// Takes the page's image lists back from the list, before the page frees them.
void DetachImageLists(HWND list);

// True when the change toggled a row's check box; on is its new state.
bool IsCheckToggle(const NMLISTVIEW& change, bool& on);

// Selects and focuses row and puts the selection mark on it.
void SelectRow(HWND list, int row);
