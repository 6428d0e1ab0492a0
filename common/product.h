#pragma once

// The product and company texts: the settings key and log entries use them.
inline constexpr wchar_t kProductName[] = L"Varnalis 1.4";
inline constexpr wchar_t kCompanyName[] = L"Pellard Software";
