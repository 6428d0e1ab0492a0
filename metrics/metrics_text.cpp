#include "metrics/metrics_text.h"

#include "common/utf16.h"
#include "varnalis_version.h"

namespace {

struct ValueFamily {
  const char* name;
  const char* help;
  const char* instanceLabel;  // null when the parameter watches no instance
  int64_t scale;              // to the base unit Prometheus expects: bytes, not megabytes
};

constexpr int64_t kMegabyte = 1024 * 1024;
constexpr int64_t kKilobyte = 1024;

// Indexed by parameter id; the unit is part of each name.
constexpr ValueFamily kValueFamilies[kParameterCount] = {
    {"processor_load_percent", "Processor load of the watched computer.", nullptr, 1},
    {"free_memory_bytes", "Free physical memory, measured in whole megabytes.", nullptr, kMegabyte},
    {"page_file_usage_bytes", "Page file in use, measured in whole megabytes.", nullptr, kMegabyte},
    {"network_usage_bytes_per_second", "Traffic through the watched network adapter, measured in whole kilobytes.",
     "adapter", kKilobyte},
    {"disk_usage_percent", "Space in use on the watched disk.", "disk", 1},
    {"threads", "Threads running on the watched computer.", nullptr, 1},
    {"process_running", "1 while the watched process runs, 0 when it is closed.", "process", 1},
    {"web_server_connections", "Current connections to the watched web site.", "web_server", 1},
};

constexpr const char* kChannels[kChannelCount] = {"ui", "email", "custom", "webhook"};

std::string Number(int64_t value) { return std::to_string(value); }
std::string Number(const std::optional<int64_t>& value, int64_t scale = 1) {
  if (!value) return "NaN";
  int64_t scaled;
  if (__builtin_mul_overflow(*value, scale, &scaled)) return *value < 0 ? "-Inf" : "+Inf";  // a limit typed absurdly high
  return Number(scaled);
}

// Whole units and a fraction of `digits` places, without the locale's help.
std::string Fixed(int64_t scaled, int64_t scale, int digits) {
  if (scaled < 0) scaled = 0;
  std::string fraction = std::to_string(scaled % scale);
  return std::to_string(scaled / scale) + "." + std::string(digits - fraction.size(), '0') + fraction;
}

class Page {
 public:
  explicit Page(const MetricsPass& pass) : computer_("computer=\"" + EscapeLabelValue(pass.computer) + "\"") {}

  void Family(const std::string& name, const char* type, const std::string& help) {
    name_ = name;
    text_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  // extra: further labels, each as name="escaped value", comma first.
  void Sample(const std::string& extra, const std::string& value) {
    text_ += name_ + "{" + computer_ + extra + "} " + value + "\n";
  }
  void Raw(const std::string& line) { text_ += line + "\n"; }
  std::string Take() { return std::move(text_); }

 private:
  std::string computer_;
  std::string name_;
  std::string text_;
};

std::string Label(const char* name, const std::string& value) { return std::string(",") + name + "=\"" + value + "\""; }

}  // namespace

std::string EscapeLabelValue(std::wstring_view text) {
  std::string escaped;
  for (char c : ToUtf8(text)) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string RenderMetrics(const MetricsPass& pass) {
  Page page(pass);
  page.Family("varnalis_build_info", "gauge", "The program's version, as a label.");
  page.Raw("varnalis_build_info{version=\"" + EscapeLabelValue(VARNALIS_VERSION_WIDE) + "\"} 1");

  page.Family("varnalis_monitoring_on", "gauge", "1 while monitoring is on.");
  page.Sample("", pass.monitoringOn ? "1" : "0");
  page.Family("varnalis_passes_total", "counter", "Complete monitor passes since the program started.");
  page.Sample("", Number(static_cast<int64_t>(pass.passes)));
  page.Family("varnalis_last_pass_duration_seconds", "gauge", "How long the last complete pass took.");
  if (pass.passes > 0) page.Sample("", Fixed(pass.passMicroseconds, 1000000, 6));
  page.Family("varnalis_last_pass_completion_timestamp_seconds", "gauge",
              "When the last complete pass ended, in seconds since 1970 (UTC).");
  if (pass.passes > 0) page.Sample("", Fixed(pass.completedUnixMilliseconds, 1000, 3));

  for (int id = 0; id < kParameterCount; ++id) {
    const ValueFamily& family = kValueFamilies[id];
    const MetricsParameter& parameter = pass.parameters[id];
    page.Family(std::string("varnalis_") + family.name, "gauge",
                std::string(family.help) + " NaN when switched off or not available.");
    std::string instance;
    if (family.instanceLabel != nullptr && !parameter.instance.empty()) {
      instance = Label(family.instanceLabel, EscapeLabelValue(parameter.instance));
    }
    page.Sample(instance, Number(parameter.value, family.scale));
  }

  page.Family("varnalis_notifications_paused", "gauge",
              "1 while notifications are held by a pause or quiet hours: only the log and the tray icon hear of errors.");
  page.Sample("", pass.notificationsPaused ? "1" : "0");

  page.Family("varnalis_parameter_enabled", "gauge", "1 when the parameter is watched.");
  for (int id = 0; id < kParameterCount; ++id) {
    page.Sample(Label("parameter", kValueFamilies[id].name), pass.parameters[id].enabled ? "1" : "0");
  }
  page.Family("varnalis_notification_value", "gauge",
              "The notification value: free memory at or below it, the others at or above it count as bad. NaN for the process, bad when closed.");
  for (int id = 0; id < kParameterCount; ++id) {
    page.Sample(Label("parameter", kValueFamilies[id].name),
                Number(pass.parameters[id].notificationValue, kValueFamilies[id].scale));
  }
  page.Family("varnalis_parameter_state", "gauge", "Notification state per channel: 0 OK, 1 Warning, 2 Error.");
  for (int id = 0; id < kParameterCount; ++id) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
      page.Sample(Label("parameter", kValueFamilies[id].name) + Label("channel", kChannels[channel]),
                  Number(static_cast<int64_t>(pass.parameters[id].states[channel])));
    }
  }
  return page.Take();
}
