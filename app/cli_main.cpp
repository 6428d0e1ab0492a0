#include "app/cli_main.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include "app/console_monitor.h"
#include "common/console.h"
#include "common/decimal.h"
#include "log/event_log.h"
#include "log/log_lines.h"
#include "notify/quiet_time.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "varnalis_version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRegistry = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

constexpr wchar_t kUsage[] =
    L"Usage: varnalis-cli [--replay FILE] [--passes N] [--metrics ADDRESS:PORT] [COMMAND]\n"
    L"       varnalis-cli --version\n"
    L"  (no command)        watch the computer until Ctrl+C, one line per pass\n"
    L"  once                run one pass and print the parameters\n"
    L"  test-connection     print a short report of the watched computer\n"
    L"  instances KIND      list what can be watched: network, disk, process or web\n"
    L"  test-mail           send a notification mail with the e-mail settings\n"
    L"  test-webhook        post a test message with the web hook settings\n"
    L"  settings            list every setting as Group\\name = value\n"
    L"  get NAME [--reveal] print one setting, e.g. get \"Connection\\period\"; passwords as ****\n"
    L"  set NAME VALUE      change one setting, e.g. set \"Connection\\period\" 5000\n"
    L"  set NAME -          change one setting to a line read from standard input\n"
    L"  log                 print the event log, newest entry first\n"
    L"  pause DURATION      hold notifications for 90s, 30m, 4h, forever, or off to resume\n"
    L"Options:\n"
    L"  --replay FILE       answer from a recording instead of the computer\n"
    L"  --passes N          stop the monitor after N passes\n"
    L"  --metrics ADDRESS:PORT\n"
    L"                      serve the monitor's passes for Prometheus at http://ADDRESS:PORT/metrics;\n"
    L"                      a port alone listens on 127.0.0.1 only\n";

// Collects what the Log page would show.
class CollectedRows final : public LogView {
 public:
  void AddLogLine(const std::wstring& line) override {
    if (auto row = SplitLogLine(line)) {
      if (rows_.size() >= static_cast<size_t>(kMaxLogRows)) rows_.erase(rows_.begin());
      rows_.push_back(*row);
    }
  }
  void ClearList() override { rows_.clear(); }
  const std::vector<LogRow>& Rows() const { return rows_; }

 private:
  std::vector<LogRow> rows_;  // oldest first
};

int ListSettings(Settings& settings) {
  for (const SettingRef& ref : SettingsTable(settings)) {
    std::wstring value = SettingText(ref);
    if (ref.secret && !value.empty()) value = L"****";
    PrintOut(ref.name + L" = " + value + L"\n");
  }
  return kExitOk;
}

int GetSetting(Settings& settings, const std::wstring& name, bool reveal) {
  std::vector<SettingRef> table = SettingsTable(settings);
  const SettingRef* ref = FindSetting(table, name);
  if (ref == nullptr) {
    PrintErr(L"Unknown setting \"" + name + L"\". \"varnalis-cli settings\" lists them all.\n");
    return kExitUsage;
  }
  std::wstring value = SettingText(*ref);
  if (ref->secret && !reveal && !value.empty()) value = L"****";
  PrintOut(value + L"\n");
  return kExitOk;
}

int SetSetting(Settings& settings, const std::wstring& name, const std::wstring& value) {
  std::vector<SettingRef> table = SettingsTable(settings);
  const SettingRef* ref = FindSetting(table, name);
  if (ref == nullptr) {
    PrintErr(L"Unknown setting \"" + name + L"\". \"varnalis-cli settings\" lists them all.\n");
    return kExitUsage;
  }
  std::wstring text = value, error;
  // "-": from standard input, so that a password stays out of the process list.
  if (value == L"-") {
    if (!ReadHiddenLine(ref->name + L": ", text)) {
      PrintErr(ref->name + L": no value on standard input\n");
      return kExitUsage;
    }
  }
  if (!SetSettingFromUser(*ref, text, error)) {
    PrintErr(ref->name + L": " + error + L"\n");
    return kExitUsage;
  }
  return kExitOk;
}

int Pause(Settings& settings, const std::wstring& duration) {
  LocalTime now = CurrentLocalTime();
  std::optional<int32_t> until = PauseUntilValue(duration, now);
  if (!until) {
    PrintErr(L"Not a pause: \"" + duration + L"\". Give 90s, 30m, 4h, forever or off.\n");
    return kExitUsage;
  }
  settings.Quiet.PausedUntil = *until;
  Silence silence = SilenceAt(settings.Quiet, now);
  PrintOut(*until == 0 ? std::wstring(L"Notifications resumed.\n")
                       : L"Notifications paused until " + silence.until + L".\n");
  return kExitOk;
}

int ShowLog(Settings& settings) {
  EventLog log(settings.Log);
  CollectedRows rows;
  log.SetView(&rows);
  bool opened = log.LoadFromFile(false);
  log.SetView(nullptr);
  if (!opened) {
    PrintErr(L"No log to show: \"" + settings.Log.Filename.Get() + L"\" cannot be opened.\n");
    return kExitFailed;
  }
  for (auto it = rows.Rows().rbegin(); it != rows.Rows().rend(); ++it) {
    std::wstring type = it->type;
    type.resize(std::max<size_t>(type.size(), 7), L' ');
    PrintOut(type + L"  " + it->time + L"  " + it->message + L"\n");
  }
  return kExitOk;
}

int RunCommand(Settings& settings, const MonitorOptions& options, const std::vector<std::wstring>& args) {
  if (args.empty()) return RunConsoleMonitor(settings, options);
  if (!options.metrics.empty()) {  // only the monitor serves them
    PrintErr(kUsage);
    return kExitUsage;
  }
  const std::wstring& command = args[0];
  if (command == L"once" && args.size() == 1) return RunOnePass(settings, options);
  if (command == L"test-connection" && args.size() == 1) return RunTestConnection(settings, options);
  if (command == L"instances" && args.size() == 2) return RunListInstances(settings, options, args[1]);
  if (command == L"test-mail" && args.size() == 1) return RunTestMail(settings);
  if (command == L"test-webhook" && args.size() == 1) return RunTestWebhook(settings);
  if (command == L"settings" && args.size() == 1) return ListSettings(settings);
  if (command == L"get" && args.size() == 2) return GetSetting(settings, args[1], false);
  if (command == L"get" && args.size() == 3 && (args[1] == L"--reveal" || args[2] == L"--reveal"))
    return GetSetting(settings, args[args[1] == L"--reveal" ? 2 : 1], true);
  if (command == L"set" && args.size() == 3) return SetSetting(settings, args[1], args[2]);
  if (command == L"log" && args.size() == 1) return ShowLog(settings);
  if (command == L"pause" && args.size() == 2) return Pause(settings, args[1]);
  PrintErr(kUsage);
  return kExitUsage;
}

// Takes the leading options off args; false on a bad option.
bool TakeOptions(std::vector<std::wstring>& args, MonitorOptions& options) {
  while (!args.empty() && args[0].rfind(L"--", 0) == 0 && args[0] != L"--help" && args[0] != L"--version") {
    if (args.size() < 2) return false;
    if (args[0] == L"--replay") {
      options.replayFile = args[1];
    } else if (args[0] == L"--metrics") {
      if (args[1].empty()) return false;
      options.metrics = args[1];
    } else if (args[0] == L"--passes") {
      std::optional<int64_t> passes = ReadWholeDecimal(args[1]);
      if (!passes || *passes < 1 || *passes > std::numeric_limits<int>::max()) return false;
      options.passes = static_cast<int>(*passes);
    } else {
      return false;
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  return true;
}

}  // namespace

int RunCli(std::vector<std::wstring> args) {
  MonitorOptions options;
  if (!TakeOptions(args, options)) {
    PrintErr(kUsage);
    return kExitUsage;
  }
  if (!args.empty() && (args[0] == L"help" || args[0] == L"--help" || args[0] == L"-h")) {
    PrintOut(kUsage);
    return kExitOk;
  }
  if (args.size() == 1 && args[0] == L"--version") {
    PrintOut(L"varnalis-cli " VARNALIS_VERSION_WIDE L"\n");
    return kExitOk;
  }
  std::unique_ptr<RegistryStore> store = OpenUserRegistry();
  Registry registry(*store, DefaultSettingsKeyPath());
  Settings settings;
  std::wstring error;
  if (!settings.LoadSettings(registry, &error)) {
    PrintErr(L"Registry error.\n" + error + L"\n");
    return kExitRegistry;
  }
  int code = RunCommand(settings, options, args);
  // Nothing written after a refused command, nor by a command that changes
  // nothing: those work on a store they may not write.
  bool changes = args.empty() || args[0] == L"set" || args[0] == L"pause";
  if (code != kExitOk || !changes) return code;
  if (!settings.SaveSettings(registry, &error)) {
    PrintErr(L"Registry error.\n" + error + L"\n");
    return kExitRegistry;
  }
  return kExitOk;
}
