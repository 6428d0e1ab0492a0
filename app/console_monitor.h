#pragma once
// The console monitor: the monitoring engine with the console as its front
// end, for machines without a desktop.
#include <string>
#include <vector>

struct Settings;

struct MonitorOptions {
  std::wstring replayFile;  // answers from a recording instead of the system
  int passes = 0;           // end after this many passes; 0 runs until stopped
  std::wstring metrics;     // where to serve the metrics endpoint, "ADDRESS:PORT"; empty for none
};

// Each returns the program's exit code.
int RunConsoleMonitor(Settings& settings, const MonitorOptions& options);
int RunOnePass(Settings& settings, const MonitorOptions& options);
int RunTestConnection(Settings& settings, const MonitorOptions& options);
int RunListInstances(Settings& settings, const MonitorOptions& options, const std::wstring& kind);
// Sends one message built like an error notification with the stored e-mail settings.
int RunTestMail(Settings& settings);
// Posts the test message with the web hook settings; the outcome on the console.
int RunTestWebhook(Settings& settings);
