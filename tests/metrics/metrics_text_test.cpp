#include "metrics/metrics_text.h"

#include <doctest/doctest.h>

#include <sstream>

#include "parameters/parameter_record.h"
#include "settings/settings.h"
#include "varnalis_version.h"

namespace {

ParameterRecords FreshRecords() {
  return {ParameterRecord(0), ParameterRecord(1), ParameterRecord(2), ParameterRecord(3),
          ParameterRecord(4), ParameterRecord(5), ParameterRecord(6), ParameterRecord(7)};
}

bool Has(const std::string& page, const std::string& line) { return page.find(line + "\n") != std::string::npos; }

}  // namespace

TEST_CASE("a pass renders each parameter with its unit, NaN for what is not known, labels escaped, no secrets") {
  Settings settings;
  settings.Connection.local = false;
  settings.Connection.server.Set(L"web\"01\n");
  settings.Connection.user.Set(L"watcher-account");
  settings.Connection.password.Set(L"conn-S3cret");
  settings.EMail.EMailUser.Set("mail-account");
  settings.EMail.EMailPassword.Set("mail-S3cret");
  for (int id = 0; id < kParameterCount; ++id) settings.Parameters.enable[id] = id != 3;  // network off
  settings.Parameters.diskName.Set(L"C:\\");
  settings.Parameters.processName.Set(L"svc \"x\".exe");
  settings.Parameters.networkAdapterName.Set(L"ᚠ\t}{,=");  // only \\, " and LF are escaped
  settings.Parameters.notificationValue[2].Set(L"99999999999999999");  // beyond bytes in 64 bits
  ParameterRecords records = FreshRecords();
  records[0].states = {ParameterState::Error, ParameterState::Warning, ParameterState::Ok};
  // Processor, memory, page file (not available), network (switched off), disk, threads, process, web server.
  PassValues values = {37, 2048, 0xFFFFFFFF, 5, 80, 912, 1, 0xFFFFFFFF};

  MetricsPass pass = CaptureMetricsPass(records, settings, &values);
  pass.passes = 12;
  pass.passMicroseconds = 1234;
  pass.completedUnixMilliseconds = 1796632476082;
  std::string page = RenderMetrics(pass);

  const char* const lines[] = {
      "varnalis_build_info{version=\"" VARNALIS_VERSION_TEXT "\"} 1",
      "varnalis_passes_total{computer=\"web\\\"01\\n\"} 12",
      "varnalis_last_pass_duration_seconds{computer=\"web\\\"01\\n\"} 0.001234",
      "varnalis_last_pass_completion_timestamp_seconds{computer=\"web\\\"01\\n\"} 1796632476.082",
      "varnalis_processor_load_percent{computer=\"web\\\"01\\n\"} 37",
      "varnalis_free_memory_bytes{computer=\"web\\\"01\\n\"} 2147483648",
      "varnalis_page_file_usage_bytes{computer=\"web\\\"01\\n\"} NaN",
      "varnalis_network_usage_bytes_per_second{computer=\"web\\\"01\\n\",adapter=\"\xE1\x9A\xA0\t}{,=\"} NaN",
      "varnalis_disk_usage_percent{computer=\"web\\\"01\\n\",disk=\"C:\\\\\"} 80",
      "varnalis_threads{computer=\"web\\\"01\\n\"} 912",
      "varnalis_process_running{computer=\"web\\\"01\\n\",process=\"svc \\\"x\\\".exe\"} 1",
      "varnalis_web_server_connections{computer=\"web\\\"01\\n\"} NaN",  // no site chosen: no label
      "varnalis_parameter_enabled{computer=\"web\\\"01\\n\",parameter=\"network_usage_bytes_per_second\"} 0",
      "varnalis_notification_value{computer=\"web\\\"01\\n\",parameter=\"processor_load_percent\"} 95",
      "varnalis_notification_value{computer=\"web\\\"01\\n\",parameter=\"free_memory_bytes\"} 104857600",
      "varnalis_notification_value{computer=\"web\\\"01\\n\",parameter=\"page_file_usage_bytes\"} +Inf",
      "varnalis_notification_value{computer=\"web\\\"01\\n\",parameter=\"process_running\"} NaN",
      "varnalis_parameter_state{computer=\"web\\\"01\\n\",parameter=\"processor_load_percent\",channel=\"ui\"} 2",
      "varnalis_parameter_state{computer=\"web\\\"01\\n\",parameter=\"processor_load_percent\",channel=\"email\"} 1",
      "varnalis_parameter_state{computer=\"web\\\"01\\n\",parameter=\"processor_load_percent\",channel=\"custom\"} 0",
      "varnalis_parameter_state{computer=\"web\\\"01\\n\",parameter=\"processor_load_percent\",channel=\"webhook\"} 0",
      "varnalis_notifications_paused{computer=\"web\\\"01\\n\"} 0",
  };
  for (const char* line : lines) CHECK_MESSAGE(Has(page, line), line);
  for (const char* secret : {"S3cret", "account"}) CHECK(page.find(secret) == std::string::npos);

  // The families' HELP and TYPE lines are promtool's to check, in the console monitor's test.
  std::istringstream in(page);
  int samples = 0;
  for (std::string line; std::getline(in, line);) samples += !line.empty() && line[0] != '#';
  CHECK(samples == 6 + 8 + 8 + 8 + 8 * kChannelCount);
}

TEST_CASE("before the first pass every value is unknown and the pass has no time") {
  Settings settings;
  ParameterRecords records = FreshRecords();
  std::string page = RenderMetrics(CaptureMetricsPass(records, settings, nullptr));
  CHECK(Has(page, "varnalis_processor_load_percent{computer=\"localhost\"} NaN"));
  CHECK(Has(page, "varnalis_passes_total{computer=\"localhost\"} 0"));
  CHECK(Has(page, "# TYPE varnalis_last_pass_duration_seconds gauge"));
  CHECK(page.find("varnalis_last_pass_duration_seconds{") == std::string::npos);
  CHECK(page.find("varnalis_last_pass_completion_timestamp_seconds{") == std::string::npos);
}
