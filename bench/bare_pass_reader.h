#pragma once
// The floor for a monitoring pass with the Linux provider: the same kernel
// files and calls, each once, with plain read() and only the scanning needed
// to find the next names. No values are worked out.
#ifdef __cplusplus
extern "C" {
#endif

// Returns how much it read (file bytes, link and statvfs sizes).
unsigned long BareReadPass(void);

#ifdef __cplusplus
}
#endif
