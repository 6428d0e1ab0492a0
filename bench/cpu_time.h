#pragma once
// The process's CPU time so far, user and kernel, in milliseconds.
double ProcessCpuMs();
