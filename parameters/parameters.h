#pragma once
// The catalogue of the eight watched parameters.
#include <cstdint>
#include <string>

#include "settings/settings.h"

enum class ParameterId : int32_t {
  CpuUsage = 0,
  FreePhysicalMemory = 1,
  PageFileUsage = 2,
  NetworkUsage = 3,
  DiskUsage = 4,
  Threads = 5,
  Process = 6,
  WebServerConnections = 7,
};

inline constexpr int64_t kNotAvailable = -1;

enum class ParameterState : int32_t { Ok = 0, Warning = 1, Error = 2 };
enum class NotifyChannel : int32_t { Ui = 0, EMail = 1, Custom = 2, Webhook = 3 };
inline constexpr int kChannelCount = 4;

// Indexed by id.
const std::wstring& ParameterName(int id);
const std::wstring& ParameterUnit(int id);

// The display name, with the instance in brackets for the parameters that
// watch one instance when it is set: "Disk Uage (C:)".
std::wstring ParameterDisplayName(int id, const ParameterSettings& parameters);
// The setting that names the one instance a parameter watches (adapter, disk,
// process, web server); null for the parameters that watch no single instance.
const WideSetting* InstanceSetting(int id, const ParameterSettings& parameters);
WideSetting* InstanceSetting(int id, ParameterSettings& parameters);
