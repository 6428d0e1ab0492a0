#include "ui/options_page.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/decimal.h"
#include "common/program_path.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/app_commands.h"
#include "ui/file_open_dialog.h"

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
  sizeText_ = std::to_wstring(settings_.Log.MaxSize.load());
  SetDlgItemTextW(Window(), IDC_MAX_SIZE, sizeText_.c_str());
  EnableWindow(Item(IDC_MAX_SIZE), settings_.Log.LimitSize);
  SetDlgItemTextW(Window(), IDC_LOG_FILE, settings_.Log.Filename.Get().c_str());
}

bool OptionsPage::OnCommand(int id, int code, HWND) {
  if (code == EN_CHANGE) {
    if (id == IDC_MAX_SIZE) {
      OnSizeChanged();
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

// Nothing is stored while the field is empty (being retyped) or shows what
// the page put there; a size that does not fit is refused and the last one
// put back, since 0 MB would empty the log at the next entry.
void OptionsPage::OnSizeChanged() {
  std::wstring text = ItemText(IDC_MAX_SIZE);
  if (text.empty() || text == sizeText_) return;
  std::optional<int64_t> size = ReadWholeDecimal(text);
  if (size && SetNumberSetting(RowOf(settings_, &settings_.Log.MaxSize), *size)) {
    sizeText_ = text;
    return;
  }
  SetDlgItemTextW(Window(), IDC_MAX_SIZE, sizeText_.c_str());
  SendDlgItemMessageW(Window(), IDC_MAX_SIZE, EM_SETSEL, 0, -1);
  ShowRefusal(IDS_WRONG_VALUE);
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
  std::optional<std::wstring> name = AskFileToOpen(Window(), settings_.Log.Filename.Get(), L"txt");
  if (name) SetDlgItemTextW(Window(), IDC_LOG_FILE, name->c_str());  // its change stores the name
}
