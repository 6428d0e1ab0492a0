#include "ui/options_page.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/program_path.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/app_commands.h"

namespace {

struct Level {
  int button;
  bool saveLog;
  int details;  // unused when saveLog is false
};

constexpr Level kLevels[] = {
    {IDC_LOG_OFF, false, 0},
    {IDC_LOG_ERRORS, true, 2},
    {IDC_LOG_WARNINGS, true, 1},
    {IDC_LOG_FULL, true, 0},
};

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
constexpr DWORD kLongestPath = 32768;

}  // namespace

OptionsPage::OptionsPage(const CThemeHelper& theme, Settings& settings, AppCommands& app)
    : PropertyPage(IDD_OPTIONS, IDS_OPTIONS), theme_(theme), settings_(settings), app_(app) {}

void OptionsPage::OnInitDialog() {
  AddImageButton(IDC_LOG_BROWSE, IMG_BROWSE, theme_);
  ShowBanner(IDB_OPTIONS);
}

void OptionsPage::OnSetActive() {
  Check(IDC_RUN_APP, settings_.Main.RunApp);
  Check(IDC_HIDE_ICON, settings_.Main.HideIcon);
  Check(IDC_HIDE_SPLASH, settings_.Main.HideSplash);

  int chosen = 0;  // a detail level the page does not know shows no choice
  for (const Level& level : kLevels) {
    if (level.saveLog == settings_.Log.SaveLog && (!level.saveLog || level.details == settings_.Log.Details)) {
      chosen = level.button;
    }
  }
  if (chosen != 0) {
    ChooseLevel(chosen);
  } else {
    CheckRadioButton(Window(), IDC_LOG_OFF, IDC_LOG_FULL, 0);
  }

  Check(IDC_CLEAR_LOG_AT_START, settings_.Log.ClearLog);
  Check(IDC_LIMIT_SIZE, settings_.Log.LimitSize);
  SetDlgItemInt(Window(), IDC_MAX_SIZE, static_cast<UINT>(settings_.Log.MaxSize.load()), TRUE);
  EnableWindow(Item(IDC_MAX_SIZE), settings_.Log.LimitSize);
  SetDlgItemTextW(Window(), IDC_LOG_FILE, settings_.Log.Filename.Get().c_str());
}

bool OptionsPage::OnCommand(int id, int code, HWND) {
  if (code == EN_CHANGE) {
    if (id == IDC_MAX_SIZE) {
      settings_.Log.MaxSize = ReadIntText(ItemText(IDC_MAX_SIZE));  // read as loading reads it
      return true;
    }
    if (id == IDC_LOG_FILE) {
      settings_.Log.Filename.Set(ItemText(IDC_LOG_FILE));
      return true;
    }
    return false;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_RUN_APP:
      settings_.Main.RunApp = Checked(id);
      SetRunAtLogon(Checked(id));
      return true;
    case IDC_HIDE_ICON:
      settings_.Main.HideIcon = Checked(id);
      app_.ApplyHideIcon();
      return true;
    case IDC_HIDE_SPLASH:
      settings_.Main.HideSplash = Checked(id);
      return true;
    case IDC_LOG_OFF:
    case IDC_LOG_ERRORS:
    case IDC_LOG_WARNINGS:
    case IDC_LOG_FULL:
      ChooseLevel(id);
      return true;
    case IDC_LIMIT_SIZE:
      settings_.Log.LimitSize = Checked(id);
      EnableWindow(Item(IDC_MAX_SIZE), Checked(id));
      return true;
    case IDC_CLEAR_LOG_AT_START:
      settings_.Log.ClearLog = Checked(id);
      return true;
    case IDC_LOG_BROWSE:
      Browse();
      return true;
    default:
      return false;
  }
}

// Each radio button is a group of its own, so the page keeps them exclusive.
void OptionsPage::ChooseLevel(int id) {
  for (const Level& level : kLevels) {
    if (level.button != id) continue;
    settings_.Log.SaveLog = level.saveLog;
    if (level.saveLog) settings_.Log.Details = level.details;  // Off keeps the level for later
  }
  CheckRadioButton(Window(), IDC_LOG_OFF, IDC_LOG_FULL, id);
}

// A failure leaves the check box as the user set it, unreported.
void OptionsPage::SetRunAtLogon(bool on) {
  std::unique_ptr<RegistryStore> store = OpenUserRegistry();
  Registry registry(*store, DefaultSettingsKeyPath());
  std::wstring value = kRunKey + ResourceText(IDS_PRODUCT);
  if (!on) {
    registry.DeleteRegValue(value, true);
    return;
  }
  std::wstring program = ProgramPath();
  if (program.empty()) return;  // a command without its program could not start
  registry.WriteRegText(value, L"\"" + program + L"\" autorun", true);
}

void OptionsPage::Browse() {
  std::wstring current = settings_.Log.Filename.Get();
  std::vector<wchar_t> name(kLongestPath, L'\0');
  if (current.size() < name.size()) current.copy(name.data(), current.size());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Window();
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrDefExt = L"txt";
  // The process's current folder stays the program's, where a relative log name points.
  dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
  BOOL chosen = GetOpenFileNameW(&dialog);
  if (!chosen && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
    // A name the dialog refuses to start with must not keep it from opening.
    name[0] = L'\0';
    chosen = GetOpenFileNameW(&dialog);
  }
  if (!chosen) return;
  SetDlgItemTextW(Window(), IDC_LOG_FILE, name.data());  // its change stores the name
}
