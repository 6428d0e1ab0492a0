#pragma once
// The notification texts, by string-table id.
inline constexpr wchar_t kSubjectError[] = L"%PARAMETER% on %SERVER% Error.";           // 119
inline constexpr wchar_t kBodyError[] = L"%TIME%\n%VALUE% current value.\n%NVALUE% error value.";  // 120
inline constexpr wchar_t kSubjectWarning[] = L"%PARAMETER% on %SERVER% Warning.";       // 122
inline constexpr wchar_t kBodyWarning[] = L"%TIME%\n%VALUE% current value.\n%NVALUE% error value.";  // 123
inline constexpr wchar_t kSubjectOk[] = L"%PARAMETER% on %SERVER% is OK.";              // 124
inline constexpr wchar_t kBodyOk[] = L"%TIME%\n%VALUE% current value.";                 // 125
inline constexpr wchar_t kBodyProcess[] = L"%TIME%\nProcess closed.";
