#pragma once
// Report-view columns whose widths live in the settings.
#include <windows.h>
#include <commctrl.h>

#include <span>

#include "settings/settings.h"

struct ListColumn {
  const wchar_t* heading;
  IntSetting& width;
  const wchar_t* widest = nullptr;  // the longest text the column shows, if known
};

// Replaces the list's columns with these, left-aligned, at their stored widths
// (pixels at 96 DPI, scaled to the list's); a width of 0 or less shows the
// whole heading and the widest text instead, at the list's font.
void InsertListColumns(HWND list, std::span<const ListColumn> columns);
// After a change of DPI: every column keeps its width at 96 DPI.
void ScaleListColumns(HWND list, int oldDpi, int newDpi);
// Stores the current widths as pixels at 96 DPI, when the list holds exactly these columns.
void StoreListColumnWidths(HWND list, std::span<const ListColumn> columns);
// A header's word that a column's width changed, or may have.
bool IsColumnWidthChange(const NMHDR& header);
