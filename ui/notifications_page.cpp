#include "ui/notifications_page.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/decimal.h"
#include "notify/test_mail.h"
#include "notify/test_webhook.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/check_list.h"
#include "ui/dpi.h"
#include "ui/engine_access.h"
#include "ui/file_open_dialog.h"
#include "ui/list_columns.h"
#include "ui/strip_images.h"
#include "ui/ui_messages.h"

namespace {

constexpr int kChannels = 4;
constexpr int kRunChannel = 2;
constexpr int kColumnWidth = 145;
// The mail library takes these texts as C strings; a longer one is not typed
// at all rather than cut when stored.
constexpr int kMaxByteText = 259;

// The controls of each channel's group; they share one place on the page.
const std::vector<int> kGroups[kChannels] = {
    {IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX},
    {IDC_MAIL_SERVER_LABEL, IDC_MAIL_SERVER, IDC_MAIL_PORT_LABEL, IDC_MAIL_PORT, IDC_MAIL_SENDER_LABEL,
     IDC_MAIL_SENDER, IDC_MAIL_RECIPIENT_LABEL, IDC_MAIL_RECIPIENT, IDC_MAIL_AUTH, IDC_MAIL_USER_LABEL, IDC_MAIL_USER,
     IDC_MAIL_PASSWORD_LABEL, IDC_MAIL_PASSWORD, IDC_MAIL_SSL, IDC_TEST_MAIL, IDC_TEST_MAIL_RESULT},
    {IDC_RUN_FILE_LABEL, IDC_RUN_FILE, IDC_BROWSE, IDC_RUN_ARG_LABEL, IDC_RUN_ARG, IDC_RUN_AUTH, IDC_RUN_USER_LABEL,
     IDC_RUN_USER, IDC_RUN_PASSWORD_LABEL, IDC_RUN_PASSWORD},
    {IDC_WEBHOOK_URL_LABEL, IDC_WEBHOOK_URL, IDC_WEBHOOK_SHOW, IDC_WEBHOOK_FORMAT_LABEL, IDC_WEBHOOK_FORMAT,
     IDC_TEST_WEBHOOK, IDC_TEST_WEBHOOK_RESULT},
};

// In the order of the format setting's values.
constexpr const wchar_t* kWebhookFormats[] = {L"Generic JSON", L"Slack", L"Microsoft Teams", L"Discord",
                                              L"Plain text (ntfy)"};
static_assert(std::size(kWebhookFormats) == kWebhookFormatCount);

// A test button and the field its answer goes to.
struct TestButton {
  int button;
  int result;
};
constexpr TestButton kTestButtons[] = {{IDC_TEST_MAIL, IDC_TEST_MAIL_RESULT},
                                       {IDC_TEST_WEBHOOK, IDC_TEST_WEBHOOK_RESULT}};

// What a test's worker posts back: its button and the outcome in words.
struct TestAnswer {
  int button;
  std::wstring text;
};

struct Channel {
  const wchar_t* name;
  BoolSetting& enabled;
  BoolSetting& notifyAgain;
  IntSetting& repeat;
};

Channel ChannelOf(Settings& s, int row) {
  switch (row) {
    case 0: return {L"User interface", s.UiNotify.UIEnabled, s.UiNotify.UINotifyAgain, s.UiNotify.UIThreshold};
    case 1: return {L"E-Mail", s.EMail.EMailEnabled, s.EMail.EMailNotifyAgain, s.EMail.EMailThreshold};
    case 2:
      return {L"Run application", s.CustomNotify.CustomEnabled, s.CustomNotify.CustomNotifyAgain,
              s.CustomNotify.CustomThreshold};
    default:
      return {L"Web hook", s.Webhook.WebhookEnabled, s.Webhook.WebhookNotifyAgain, s.Webhook.WebhookThreshold};
  }
}

template <class Setting>
struct Bound {
  int id;
  Setting& setting;
};

std::array<Bound<BoolSetting>, 8> Switches(Settings& s) {
  return {{{IDC_UI_TRAY_ICON, s.UiNotify.UITrayIcon},
           {IDC_UI_BALLOON, s.UiNotify.UIBalloon},
           {IDC_UI_SOUND, s.UiNotify.UIPlaySound},
           {IDC_UI_WINDOW, s.UiNotify.UIWindow},
           {IDC_UI_MESSAGE_BOX, s.UiNotify.UIMessageBox},
           {IDC_MAIL_AUTH, s.EMail.EMailAuth},
           {IDC_MAIL_SSL, s.EMail.EMailSSL},
           {IDC_RUN_AUTH, s.CustomNotify.CustomAuth}}};
}

std::array<Bound<ByteSetting>, 5> ByteTexts(Settings& s) {
  return {{{IDC_MAIL_SERVER, s.EMail.EMailServer},
           {IDC_MAIL_SENDER, s.EMail.EMailUserAddress},
           {IDC_MAIL_RECIPIENT, s.EMail.EMailRecipiend},
           {IDC_MAIL_USER, s.EMail.EMailUser},
           {IDC_MAIL_PASSWORD, s.EMail.EMailPassword}}};
}

std::array<Bound<WideSetting>, 5> WideTexts(Settings& s) {
  return {{{IDC_RUN_FILE, s.CustomNotify.CustomFile},
           {IDC_RUN_ARG, s.CustomNotify.CustomArg},
           {IDC_RUN_USER, s.CustomNotify.CustomUser},
           {IDC_RUN_PASSWORD, s.CustomNotify.CustomPassword},
           {IDC_WEBHOOK_URL, s.Webhook.WebhookURL}}};
}

}  // namespace

void NotificationsPage::OnInitDialog() {
  AddImageButton(IDC_BROWSE, IMG_BROWSE, theme_);
  for (const auto& text : ByteTexts(settings_)) SendMessageW(Item(text.id), EM_LIMITTEXT, kMaxByteText, 0);
  for (const wchar_t* format : kWebhookFormats) {
    SendDlgItemMessageW(Window(), IDC_WEBHOOK_FORMAT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format));
  }
  urlMask_ = static_cast<wchar_t>(SendDlgItemMessageW(Window(), IDC_WEBHOOK_URL, EM_GETPASSWORDCHAR, 0, 0));
  for (const TestButton& test : kTestButtons) ShowResult(test.result, L"");
}

void NotificationsPage::OnSetActive() {
  HWND list = Item(IDC_CHANNEL_LIST);
  int remembered = std::max(ListView_GetNextItem(list, -1, LVNI_SELECTED), 0);
  filling_ = true;
  ListView_DeleteAllItems(list);
  while (ListView_DeleteColumn(list, 0)) {
  }
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = ScaleForWindow(list, kColumnWidth);
  column.pszText = const_cast<wchar_t*>(L"");
  ListView_InsertColumn(list, 0, &column);
  for (int row = 0; row < kChannels; ++row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.iImage = row;
    item.pszText = const_cast<wchar_t*>(ChannelOf(settings_, row).name);
    ListView_InsertItem(list, &item);
  }
  AttachImages();
  for (int row = 0; row < kChannels; ++row) ListView_SetCheckState(list, row, ChannelOf(settings_, row).enabled.load());
  SelectRow(list, remembered);
  filling_ = false;
  FillFields();
  ShowGroup(remembered);
}

void NotificationsPage::AttachImages() {
  if (!icons_) icons_ = LoadStripImages(IDB_CHANNELS, Dpi(), 8);
  if (!checks_) checks_ = LoadStripImages(IDB_CHECK_BOXES, Dpi(), 2);
  AttachImageLists(Item(IDC_CHANNEL_LIST), icons_.Get(), checks_.Get());
}

void NotificationsPage::OnDpiChanged(int oldDpi, int newDpi) {
  HWND list = Item(IDC_CHANNEL_LIST);
  ScaleListColumns(list, oldDpi, newDpi);
  DetachImageLists(list);
  icons_.Reset();
  checks_.Reset();
  AttachImages();
}

void NotificationsPage::FillFields() {
  for (const auto& check : Switches(settings_)) {
    CheckDlgButton(Window(), check.id, check.setting ? BST_CHECKED : BST_UNCHECKED);
  }
  for (const auto& text : ByteTexts(settings_)) Fill(text.id, ByteSettingText(text.setting.Get()));
  for (const auto& text : WideTexts(settings_)) Fill(text.id, text.setting.Get());
  portText_ = std::to_wstring(settings_.EMail.EMailPort.load());
  Fill(IDC_MAIL_PORT, portText_);
  EnableAccount(IDC_MAIL_AUTH, settings_.EMail.EMailAuth);
  EnableAccount(IDC_RUN_AUTH, settings_.CustomNotify.CustomAuth);
  // A value beyond the list (never loaded, only set in memory) selects nothing.
  SendDlgItemMessageW(Window(), IDC_WEBHOOK_FORMAT, CB_SETCURSEL, settings_.Webhook.WebhookFormat.load(), 0);
  // The URL holds the service's token: back on the page, it is hidden again.
  CheckDlgButton(Window(), IDC_WEBHOOK_SHOW, BST_UNCHECKED);
  ShowUrl(false);
  FillQuietHours();
}

// The pickers hold a whole date; only the time of day counts.
void NotificationsPage::FillQuietHours() {
  const QuietSettings& quiet = settings_.Quiet;
  CheckDlgButton(Window(), IDC_QUIET_HOURS, quiet.QuietHours ? BST_CHECKED : BST_UNCHECKED);
  for (auto [id, minutes] : {std::pair{IDC_QUIET_FROM, quiet.QuietFrom.load()}, {IDC_QUIET_TO, quiet.QuietTo.load()}}) {
    // A stored value outside the day shows as midnight; it is stored only when changed here.
    minutes = minutes >= 0 && minutes < 1440 ? minutes : 0;
    SYSTEMTIME time{2000, 1, 6, 1, static_cast<WORD>(minutes / 60), static_cast<WORD>(minutes % 60), 0, 0};
    filling_ = true;
    DateTime_SetFormat(Item(id), L"HH':'mm");
    DateTime_SetSystemtime(Item(id), GDT_VALID, &time);
    filling_ = false;
    EnableWindow(Item(id), quiet.QuietHours);
  }
  EnableWindow(Item(IDC_QUIET_TO_LABEL), quiet.QuietHours);
}

void NotificationsPage::OnQuietTimeChanged(const NMDATETIMECHANGE& change) {
  if (filling_ || change.dwFlags != GDT_VALID) return;
  IntSetting& setting = change.nmhdr.idFrom == IDC_QUIET_FROM ? settings_.Quiet.QuietFrom : settings_.Quiet.QuietTo;
  SetNumberSetting(RowOf(settings_, &setting), change.st.wHour * 60 + change.st.wMinute);
}

void NotificationsPage::ShowUrl(bool shown) {
  HWND field = Item(IDC_WEBHOOK_URL);
  SendMessageW(field, EM_SETPASSWORDCHAR, shown ? 0 : urlMask_, 0);
  InvalidateRect(field, nullptr, TRUE);
}

void NotificationsPage::Fill(int id, const std::wstring& text) {
  filling_ = true;
  SetDlgItemTextW(Window(), id, text.c_str());
  filling_ = false;
}

// The account fields keep their texts while switched off.
void NotificationsPage::EnableAccount(int authId, bool on) {
  const int mail[] = {IDC_MAIL_USER_LABEL, IDC_MAIL_USER, IDC_MAIL_PASSWORD_LABEL, IDC_MAIL_PASSWORD};
  const int run[] = {IDC_RUN_USER_LABEL, IDC_RUN_USER, IDC_RUN_PASSWORD_LABEL, IDC_RUN_PASSWORD};
  for (int id : authId == IDC_MAIL_AUTH ? mail : run) EnableWindow(Item(id), on);
}

void NotificationsPage::ShowGroup(int channel) {
  channel_ = channel;
  for (int g = 0; g < kChannels; ++g) {
    for (int id : kGroups[g]) ShowWindow(Item(id), g == channel ? SW_SHOW : SW_HIDE);
  }
  Channel shown = ChannelOf(settings_, channel);
  CheckDlgButton(Window(), IDC_NOTIFY_AGAIN, shown.notifyAgain ? BST_CHECKED : BST_UNCHECKED);
  // Running a program has no return-to-normal notification; the setting is only shown.
  EnableWindow(Item(IDC_NOTIFY_AGAIN), channel != kRunChannel);
  repeatText_ = std::to_wstring(shown.repeat.load());
  Fill(IDC_REPEAT, repeatText_);
}

bool NotificationsPage::OnCommand(int id, int code, HWND) {
  if (code == BN_CLICKED) {
    bool checked = IsDlgButtonChecked(Window(), id) == BST_CHECKED;
    switch (id) {
      case IDC_NOTIFY_AGAIN:
        ChannelOf(settings_, channel_).notifyAgain = checked;
        return true;
      case IDC_BROWSE:
        Browse();
        return true;
      case IDC_WEBHOOK_SHOW:
        ShowUrl(checked);
        return true;
      case IDC_QUIET_HOURS:
        settings_.Quiet.QuietHours = checked;
        for (int field : {IDC_QUIET_FROM, IDC_QUIET_TO_LABEL, IDC_QUIET_TO}) EnableWindow(Item(field), checked);
        return true;
      case IDC_TEST_MAIL:
        StartTest(id, [](const Settings& settings) { return TestMailResultText(SendTestMail(settings)); });
        return true;
      case IDC_TEST_WEBHOOK:
        StartTest(id, [](const Settings& settings) { return TestWebhookResultText(SendTestWebhook(settings)); });
        return true;
      default:
        break;
    }
    for (const auto& check : Switches(settings_)) {
      if (check.id != id) continue;
      check.setting = checked;
      if (id == IDC_MAIL_AUTH || id == IDC_RUN_AUTH) EnableAccount(id, checked);
      return true;
    }
    return false;
  }
  if (id == IDC_WEBHOOK_FORMAT && code == CBN_SELCHANGE) {
    auto chosen = SendDlgItemMessageW(Window(), id, CB_GETCURSEL, 0, 0);
    if (chosen != CB_ERR) SetNumberSetting(RowOf(settings_, &settings_.Webhook.WebhookFormat), chosen);
    return true;
  }
  if (code != EN_CHANGE || filling_) return false;
  if (id == IDC_MAIL_PORT) {
    OnPortChanged();
    return true;
  }
  if (id == IDC_REPEAT) {
    OnRepeatChanged();
    return true;
  }
  for (const auto& text : ByteTexts(settings_)) {
    if (text.id != id) continue;
    text.setting.Set(ByteSettingBytes(ItemText(id)));
    return true;
  }
  for (const auto& text : WideTexts(settings_)) {
    if (text.id != id) continue;
    text.setting.Set(ItemText(id));
    return true;
  }
  return false;
}

// An empty field is being retyped: nothing is stored until it holds a number.
void NotificationsPage::OnPortChanged() {
  std::wstring text = ItemText(IDC_MAIL_PORT);
  if (text.empty()) return;
  std::optional<int64_t> port = ReadWholeDecimal(text);
  if (port && SetNumberSetting(RowOf(settings_, &settings_.EMail.EMailPort), *port)) {
    portText_ = text;
    return;
  }
  // A port beyond 16 bits would be stored cut to another, valid-looking port.
  Fill(IDC_MAIL_PORT, portText_);
  SendDlgItemMessageW(Window(), IDC_MAIL_PORT, EM_SETSEL, 0, -1);
  ShowRefusal(IDS_WRONG_VALUE);
}

void NotificationsPage::OnRepeatChanged() {
  std::wstring text = ItemText(IDC_REPEAT);
  if (text.empty()) return;
  SettingRef repeat = RowOf(settings_, &ChannelOf(settings_, channel_).repeat);
  std::optional<int64_t> value = ReadWholeDecimal(text);
  if (value && SetNumberSetting(repeat, *value)) {
    repeatText_ = text;
    return;
  }
  // Digits alone can only be above the range: the most it takes is taken.
  if (value) {
    repeatText_ = std::to_wstring(repeat.range->high);
    SetNumberSetting(repeat, repeat.range->high);
  }
  Fill(IDC_REPEAT, repeatText_);
  SendDlgItemMessageW(Window(), IDC_REPEAT, EM_SETSEL, 0, -1);
  ShowRefusal(IDS_WRONG_VALUE);
}

bool NotificationsPage::OnNotify(NMHDR& header, LRESULT&) {
  if (header.code == DTN_DATETIMECHANGE) {
    OnQuietTimeChanged(reinterpret_cast<const NMDATETIMECHANGE&>(header));
    return true;
  }
  if (header.idFrom != IDC_CHANNEL_LIST) return false;
  if (header.code == LVN_ITEMCHANGED) {
    OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
  } else if (header.code == NM_CLICK && reinterpret_cast<const NMITEMACTIVATE&>(header).iItem < 0) {
    // A click beside the rows keeps the shown channel selected: the fields below edit it.
    SelectRow(header.hwndFrom, channel_);
  }
  return false;
}

// The group follows the selection, by mouse or keyboard alike.
void NotificationsPage::OnItemChanged(const NMLISTVIEW& change) {
  if (filling_ || change.iItem < 0 || change.iItem >= kChannels) return;
  bool on = false;
  if (IsCheckToggle(change, on)) {
    ChannelOf(settings_, change.iItem).enabled = on;
    SelectRow(change.hdr.hwndFrom, change.iItem);
    ShowGroup(change.iItem);
  } else if ((change.uChanged & LVIF_STATE) && (change.uNewState & ~change.uOldState & LVIS_SELECTED)) {
    ShowGroup(change.iItem);
  }
}

void NotificationsPage::Browse() {
  std::optional<std::wstring> path = AskFileToOpen(Window(), L"");
  if (!path) return;
  settings_.CustomNotify.CustomFile.Set(*path);
  Fill(IDC_RUN_FILE, *path);
}

// A test may wait on the network: a worker sends it, knowing the page only by
// its window. The settings outlive all work.
void NotificationsPage::StartTest(int button, std::wstring (*send)(const Settings&)) {
  if (testing_.contains(button)) return;
  const TestButton& test = *std::ranges::find(kTestButtons, button, &TestButton::button);
  HWND page = Window();
  const Settings& settings = settings_;
  ShowResult(test.result, L"");
  bool started = engine_.RunInBackground(
      [page, &settings, button, send] { PostOwned(page, WM_APP_WORK_DONE, TestAnswer{button, send(settings)}); });
  if (!started) return;
  testing_.insert(button);
  // Focus on a disabled button would leave the keyboard nowhere.
  if (GetFocus() == Item(button)) SendMessageW(page, WM_NEXTDLGCTL, TRUE, FALSE);
  EnableWindow(Item(button), FALSE);
}

void NotificationsPage::OnWorkDone(LPARAM payload) {
  TestAnswer answer = TakePayload<TestAnswer>(payload);
  testing_.erase(answer.button);
  ShowResult(std::ranges::find(kTestButtons, answer.button, &TestButton::button)->result, answer.text);
  EnableWindow(Item(answer.button), TRUE);
}

// The scroll bar is there only for a result longer than the field: the field
// shows it again by itself when its text needs it.
void NotificationsPage::ShowResult(int id, const std::wstring& text) {
  HWND field = Item(id);
  ShowScrollBar(field, SB_VERT, FALSE);
  SetWindowTextW(field, text.c_str());
}
