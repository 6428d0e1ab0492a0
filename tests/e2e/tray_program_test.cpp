// Starts varnalis.exe and works it from outside, as a user's automation would:
// through its hidden window's tray callback and menu commands, reading the
// dialog's controls from this process, and screenshots of what it shows.
#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "common/scoped_win.h"
#include "common/utf16.h"
#include "res/resource.h"
#include "support/outside_program.h"
#include "support/tcp_listener.h"
#include "tests/smtp/peers.h"

namespace {

std::wstring Text(HWND window) {
  wchar_t text[512]{};
  GetWindowTextW(window, text, 512);
  return text;
}

// The process's main dialog, shown.
HWND FindDialog(DWORD process) {
  std::pair<DWORD, HWND> search{process, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t cls[32]{};
        GetClassNameW(window, cls, 32);
        bool found = owner == s->first && std::wstring(cls) == L"#32770" && IsWindowVisible(window) &&
                     Text(window) == L"Varnalis 1.4";
        if (found) s->second = window;
        return !found;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// The window as the screen shows it, once it has painted what it holds, as
// NAME.bmp in the folder the build names.
void Picture(HWND window, const std::wstring& name) {
  const std::wstring shots = FromEnvironment("VARNALIS_SHOTS");
  if (shots.empty()) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT rect{};
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  ScopedWindowDC screen(nullptr);
  ScopedMemoryDC memory(CreateCompatibleDC(screen.Get()));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
  {
    ScopedSelect use(memory.Get(), bitmap.Get());
    BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY);
  }
  BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<char> pixels(static_cast<size_t>((width * 3 + 3) & ~3) * height);
  GetDIBits(memory.Get(), bitmap.Get(), 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof info};
  std::ofstream out((shots + L"\\" + name + L".bmp").c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// A list view of another process, worked through memory lent in that process.
class RemoteList {
 public:
  explicit RemoteList(HWND list) : list_(list) {
    DWORD id = 0;
    GetWindowThreadProcessId(list, &id);
    process_.Reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id));
    if (process_) memory_ = VirtualAllocEx(process_.Get(), nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteList() {
    if (memory_ != nullptr) VirtualFreeEx(process_.Get(), memory_, 0, MEM_RELEASE);
  }
  int Count() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
  std::wstring Cell(int row, int column) const {
    if (memory_ == nullptr) return {};
    auto* text = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + sizeof(LVITEMW));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    WriteProcessMemory(process_.Get(), memory_, &item, sizeof item, nullptr);
    SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory_));
    wchar_t local[512]{};
    ReadProcessMemory(process_.Get(), text, local, sizeof local - sizeof(wchar_t), nullptr);
    return local;
  }
  void Select(int row) const { SetState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED); }
  // Ticks the row's check box.
  void Check(int row) const { SetState(row, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK); }

 private:
  void SetState(int row, UINT state, UINT mask) const {
    if (memory_ == nullptr) return;
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    WriteProcessMemory(process_.Get(), memory_, &item, sizeof item, nullptr);
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_));
  }

  HWND list_;
  ScopedHandle process_;
  void* memory_ = nullptr;
};

// An edit or static of another process: GetWindowText does not ask across processes.
std::wstring ControlText(HWND control) {
  wchar_t text[2048]{};
  SendMessageW(control, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
  return text;
}

using Extra = std::initializer_list<std::pair<const wchar_t*, std::wstring>>;

// A fresh settings key with what a run needs (once anything is stored, a
// missing value reads as 0) and no log yet in the temporary folder; the log's path.
std::wstring PrepareSettings(Extra extra) {
  wchar_t temp[MAX_PATH]{};
  GetTempPathW(MAX_PATH, temp);
  std::wstring log = std::wstring(temp) + L"varnalis-e2e.log";
  DeleteFileW(log.c_str());
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellard Software\\Varnalis 1.4");
  const std::pair<const wchar_t*, std::wstring> settings[] = {
      {L"Connection\\local", L"1"}, {L"Connection\\period", L"500"}, {L"Log\\SaveLog", L"1"}, {L"Log\\Filename", log},
      {L"Log\\ClearLog", L"1"}, {L"Main\\HideSplash", L"1"}, {L"Interface\\dlgX", L"-1"}, {L"Interface\\dlgY", L"-1"},
      {L"Parameters\\enable0", L"1"}, {L"Parameters\\notificationValue0", L"95"}, {L"Parameters\\enable1", L"1"},
      {L"Parameters\\notificationValue1", L"100"}, {L"Interface\\paramsName", L"170"},
      {L"Interface\\paramsValue", L"110"}, {L"Interface\\paramsMaxValue", L"100"}, {L"Interface\\paramsState", L"75"},
      {L"Interface\\logType", L"70"}, {L"Interface\\logTime", L"150"}, {L"Interface\\logText", L"300"}};
  for (const auto& [name, value] : settings) StoreSetting(name, value);
  for (const auto& [name, value] : extra) StoreSetting(name, value);
  return log;
}

std::wstring ProgramPath() {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
  return program;
}

HWND TrayWindow() { return FindWindowW(WC_STATICW, L"Vrnwnd"); }

// varnalis.exe started over fresh settings, up once its tray window is; the
// settings key and the log are gone again after the test.
struct Running {
  explicit Running(Extra extra = {}) : log(PrepareSettings(extra)), process(Start(program)), guard{process.Get()} {
    REQUIRE(WaitFor([&] { return (tray = TrayWindow()) != nullptr; }));
  }
  ~Running() { DeleteFileW(log.c_str()); }
  HWND Dialog() const { return FindDialog(GetProcessId(process.Get())); }
  // A double click on the icon; the dialog it opens.
  HWND OpenDialog() const {
    PostMessageW(tray, 0x8064, 0, WM_LBUTTONDBLCLK);
    HWND dialog = nullptr;
    REQUIRE(WaitFor([&] { return (dialog = Dialog()) != nullptr; }));
    return dialog;
  }
  // Exit from the tray menu; true when the program ended within the bound.
  bool Exit() const {
    PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
    return WaitForSingleObject(process.Get(), 20000) == WAIT_OBJECT_0;
  }

  SettingsKeyRemoved cleanUp;
  std::wstring program = ProgramPath();
  std::wstring log;
  ScopedHandle process;
  EndAtExit guard;
  HWND tray = nullptr;
};

// Turns the dialog's sheet to page index; the page's window.
HWND ShowPage(HWND dialog, int index) {
  HWND sheet = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  REQUIRE(sheet != nullptr);
  SendMessageW(sheet, PSM_SETCURSEL, index, 0);
  return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// Types into the page's fields as a user's automation types: each field's text set.
void Type(HWND page, std::initializer_list<std::pair<int, std::wstring>> fields) {
  for (const auto& [id, text] : fields)
    SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The Notifications page turned to its e-mail group, the server's fields filled in.
HWND MailPage(HWND dialog, const std::wstring& server, unsigned short port) {
  HWND page = ShowPage(dialog, 1);
  RemoteList(GetDlgItem(page, IDC_CHANNEL_LIST)).Select(1);
  REQUIRE(WaitFor([&] { return IsWindowVisible(GetDlgItem(page, IDC_MAIL_SERVER)) != FALSE; }));
  Type(page, {{IDC_MAIL_SERVER, server},
              {IDC_MAIL_PORT, std::to_wstring(port)},
              {IDC_MAIL_SENDER, L"varnalis@example.test"},
              {IDC_MAIL_RECIPIENT, L"admin@example.test"}});
  return page;
}

}  // namespace

TEST_CASE("the tray program opens its dialog from the tray, switches monitoring, sends a test mail and a test message, keeps its place and exits cleanly") {
  Running run;
  HWND dialog = run.OpenDialog();
  HWND status = GetDlgItem(dialog, IDC_STATUS);
  CHECK(Text(GetDlgItem(dialog, IDC_SERVER_LABEL)) == L"Localhost");
  CHECK(WaitFor([&] { return Text(status).starts_with(L"Last monitoring finished: "); }));

  // Stop and Start from the tray menu: the status line and both buttons follow.
  for (bool on : {false, true}) {
    CAPTURE(on);
    PostMessageW(run.tray, WM_COMMAND, on ? ID_TRAY_START : ID_TRAY_STOP, 0);
    CHECK(WaitFor([&] { return Text(status).starts_with(L"Stopped at ") != on; }));
    CHECK(WaitFor([&] {
      return (IsWindowEnabled(GetDlgItem(dialog, IDC_STOP)) != FALSE) == on &&
             (IsWindowEnabled(GetDlgItem(dialog, IDC_START)) != FALSE) == !on;
    }));
  }

  // Every page, as a picture.
  const wchar_t* pages[] = {L"resources", L"notifications", L"connection", L"log", L"options", L"about"};
  HWND page = nullptr;
  for (int index = 0; index < 6; ++index) {
    page = ShowPage(dialog, index);
    if (index == 3)  // the Log page's rows, and Clear Log with them, arrive posted
      CHECK_MESSAGE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(page, IDC_CLEAR_LOG)) != FALSE; }),
                    "awaited: the Log page's rows and its Clear Log button");
    Picture(dialog, std::wstring(L"dialog-") + pages[index]);
  }
  // The About page tells the version the program's file carries.
  CHECK(ControlText(GetDlgItem(page, IDC_ABOUT_VERSION)) == L"Version " + FileVersion(run.program));
  CHECK(FileVersion(run.program).starts_with(L"1.4."));

  // The e-mail group, set up from outside, sends a test mail through verified STARTTLS.
  peers::Peers peers = peers::Load();
  page = MailPage(dialog, L"localhost", peers.Port("starttls"));
  SendMessageW(GetDlgItem(page, IDC_MAIL_AUTH), BM_CLICK, 0, 0);
  SendMessageW(GetDlgItem(page, IDC_MAIL_SSL), BM_CLICK, 0, 0);
  std::wstring user, password;
  REQUIRE((FromUtf8(peers.Value("user"), user) && FromUtf8(peers.Value("password"), password)));
  Type(page, {{IDC_MAIL_USER, user}, {IDC_MAIL_PASSWORD, password}});
  PostMessageW(GetDlgItem(page, IDC_TEST_MAIL), BM_CLICK, 0, 0);
  HWND result = GetDlgItem(page, IDC_TEST_MAIL_RESULT);
  CHECK(WaitFor([&] { return ControlText(result).starts_with(L"Test mail "); }, 60000));
  CHECK(ControlText(result).starts_with(L"Test mail sent."));
  Picture(dialog, L"page-notifications-test-mail");

  // The web hook group, switched on and set up from outside, posts its test message to the plain HTTP peer.
  // Needs the real SendTestWebhook.
  RemoteList channels(GetDlgItem(page, IDC_CHANNEL_LIST));
  channels.Select(3);
  channels.Check(3);
  REQUIRE(WaitFor([&] { return IsWindowVisible(GetDlgItem(page, IDC_WEBHOOK_URL)) != FALSE; }));
  const std::wstring hookUrl = L"http://127.0.0.1:" + std::to_wstring(peers.Port("hook_plain")) + L"/status/200";
  Type(page, {{IDC_WEBHOOK_URL, hookUrl}});
  HWND format = GetDlgItem(page, IDC_WEBHOOK_FORMAT);
  SendMessageW(format, CB_SETCURSEL, 1, 0);
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_WEBHOOK_FORMAT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(format));
  PostMessageW(GetDlgItem(page, IDC_TEST_WEBHOOK), BM_CLICK, 0, 0);
  HWND hookResult = GetDlgItem(page, IDC_TEST_WEBHOOK_RESULT);
  CHECK(WaitFor([&] { return ControlText(hookResult).starts_with(L"Test message "); }, 60000));
  CHECK(ControlText(hookResult) == L"Test message sent.");
  Picture(dialog, L"page-notifications-web-hook");

  // Closed and opened again from the menu; it keeps to where it was.
  SetWindowPos(dialog, nullptr, 60, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return run.Dialog() == nullptr; }));
  PostMessageW(run.tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  REQUIRE(WaitFor([&] { return (dialog = run.Dialog()) != nullptr; }));
  RECT place{};
  GetWindowRect(dialog, &place);
  CHECK((place.left == 60 && place.top == 40));
  // Opened again while open (minimised, here): the same dialog comes back.
  ShowWindow(dialog, SW_MINIMIZE);
  PostMessageW(run.tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  CHECK(WaitFor([&] { return IsIconic(dialog) == FALSE; }));
  CHECK(run.Dialog() == dialog);

  // Exit with the dialog open: it closes, stores its place and what the pages stored, and the program ends.
  SetWindowPos(dialog, nullptr, 70, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  CHECK(run.Exit());
  DWORD code = 1;
  GetExitCodeProcess(run.process.Get(), &code);
  CHECK(code == 0);
  CHECK(StoredSetting(L"Interface\\dlgX") == L"70");
  CHECK(StoredSetting(L"Interface\\dlgY") == L"50");
  CHECK(StoredSetting(L"Notifications\\EMailPort") == std::to_wstring(peers.Port("starttls")));
  CHECK(StoredSetting(L"Notifications\\EMailSSL") == L"1");
  CHECK(StoredSetting(L"Notifications\\WebhookEnabled") == L"1");
  CHECK(StoredSetting(L"Notifications\\WebhookURL") == hookUrl);
  CHECK(StoredSetting(L"Notifications\\WebhookFormat") == L"1");

  std::string entries = ReadLog(run.log);
  size_t at = 0;
  for (const char* entry : {"Varnalis 1.4 application open.", "Monitoring started.", "Monitoring stopped.",
                            "Monitoring started.", "Varnalis 1.4 application close."}) {
    CAPTURE(entry);
    at = entries.find(entry, at);
    REQUIRE(at != std::string::npos);
    ++at;
  }
}

TEST_CASE("started again, the program opens the running copy's dialog, also with its icon hidden; with autorun it ends quietly, or alone waits a minute") {
  Running run({{L"Main\\HideIcon", L"1"}});
  HWND dialog = nullptr;
  for (const char* when : {"closed", "minimised"}) {
    CAPTURE(when);
    ScopedHandle again = Start(run.program);
    CHECK(WaitForSingleObject(again.Get(), 15000) == WAIT_OBJECT_0);
    CHECK(WaitFor([&] { return (dialog = run.Dialog()) != nullptr && IsIconic(dialog) == FALSE; }));
    ShowWindow(dialog, SW_MINIMIZE);
    CHECK(WaitFor([&] { return IsIconic(dialog) != FALSE; }));
  }
  CHECK(TrayWindow() == run.tray);

  // At logon, with a copy running: no wait and no dialog.
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return run.Dialog() == nullptr; }));
  ScopedHandle atLogon = Start(run.program, L"autorun");
  EndAtExit endAtLogon{atLogon.Get()};
  CHECK(WaitForSingleObject(atLogon.Get(), 15000) == WAIT_OBJECT_0);
  CHECK_FALSE(WaitFor([&] { return run.Dialog() != nullptr; }, 2000));
  CHECK(run.Exit());

  // Alone, only the exact word autorun makes it wait before it starts.
  ScopedHandle waiting = Start(run.program, L"autorun");
  EndAtExit endWaiting{waiting.Get()};
  CHECK_FALSE(WaitFor([] { return TrayWindow() != nullptr; }, 3000));
  CHECK(WaitForSingleObject(waiting.Get(), 0) == WAIT_TIMEOUT);
  TerminateProcess(waiting.Get(), 1);
  WaitForSingleObject(waiting.Get(), 5000);
  for (const wchar_t* other : {L"Autorun", L"autorun2"}) {
    CAPTURE(ToUtf8(other));
    ScopedHandle started = Start(run.program, other);
    EndAtExit end{started.Get()};
    HWND tray = nullptr;
    CHECK(WaitFor([&] { return (tray = TrayWindow()) != nullptr; }, 5000));
    PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
    CHECK(WaitForSingleObject(started.Get(), 20000) == WAIT_OBJECT_0);
  }
}

TEST_CASE("a pause from the tray menu is stored at once, logged by the monitor, kept over a restart without an exit, and resumed") {
  Running run;
  auto epochNow = [] {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart / 10000000) -
                                11644473600LL);
  };
  auto stored = [] {
    std::wstring text = StoredSetting(L"Notifications\\PausedUntil");
    return text.empty() ? int64_t{0} : std::stoll(text);
  };
  auto logged = [&](const char* entry) { return ReadLog(run.log).find(entry) != std::string::npos; };

  const int64_t before = epochNow();
  PostMessageW(run.tray, WM_COMMAND, ID_TRAY_PAUSE_15M, 0);
  CHECK_MESSAGE(WaitFor([&] { return stored() >= before + 900; }), "awaited: the pause's end stored");
  CHECK(stored() <= epochNow() + 900);
  CHECK_MESSAGE(WaitFor([&] { return logged("Notifications paused until "); }), "awaited: the monitor's next pass");

  // A reboot ends the program without its exit: the pause is there when it starts again.
  PostMessageW(run.tray, WM_COMMAND, ID_TRAY_PAUSE_FOREVER, 0);
  CHECK_MESSAGE(WaitFor([&] { return stored() == -1; }), "awaited: the pause until resumed stored");
  TerminateProcess(run.process.Get(), 1);
  REQUIRE(WaitForSingleObject(run.process.Get(), 20000) == WAIT_OBJECT_0);
  run.process = Start(run.program);
  run.guard.process = run.process.Get();
  REQUIRE(WaitFor([&] { return (run.tray = TrayWindow()) != nullptr; }));
  CHECK(stored() == -1);
  CHECK_MESSAGE(WaitFor([&] { return logged("Notifications paused until resumed."); }), "awaited: the first pass");

  PostMessageW(run.tray, WM_COMMAND, ID_TRAY_RESUME, 0);
  CHECK_MESSAGE(WaitFor([&] { return stored() == 0; }), "awaited: the pause cleared in the store");
  CHECK_MESSAGE(WaitFor([&] { return logged("Notifications resumed."); }), "awaited: the monitor's next pass");
  CHECK(run.Exit());
}

TEST_CASE("a copy started right after Exit starts in full while the last one still winds down") {
  // A mail server that keeps the test mail waiting, a line at a time, until
  // the test lets it go: the old copy's exit waits for that mail.
  std::atomic<bool> connected{false};
  TcpListener server;
  struct Gate {
    std::promise<void> promise;
    std::shared_future<void> opened = promise.get_future().share();
    bool open = false;
    void Open() {
      if (!std::exchange(open, true)) promise.set_value();
    }
    ~Gate() { Open(); }
  } gate;
  server.Serve([&connected, opened = gate.opened](TcpPeer& peer) {
    connected = true;
    while (opened.wait_for(std::chrono::seconds(1)) != std::future_status::ready) peer.Send("220-busy\r\n");
  });

  Running old({{L"Log\\ClearLog", L"0"}});
  PostMessageW(old.tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  HWND dialog = nullptr;
  REQUIRE(WaitFor([&] { return (dialog = old.Dialog()) != nullptr; }));
  HWND page = MailPage(dialog, L"127.0.0.1", server.Port());
  PostMessageW(GetDlgItem(page, IDC_TEST_MAIL), BM_CLICK, 0, 0);
  REQUIRE(WaitFor([&] { return connected.load(); }));

  PostMessageW(old.tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  REQUIRE(WaitFor([] { return TrayWindow() == nullptr; }));
  ScopedHandle next = Start(old.program);
  EndAtExit guardNext{next.Get()};
  HWND nextTray = nullptr;
  CHECK(WaitFor([&] { return (nextTray = TrayWindow()) != nullptr; }, 30000));
  CHECK(WaitForSingleObject(old.process.Get(), 0) == WAIT_TIMEOUT);  // still waiting for its mail
  gate.Open();
  CHECK(WaitForSingleObject(old.process.Get(), 30000) == WAIT_OBJECT_0);

  PostMessageW(nextTray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(next.Get(), 20000) == WAIT_OBJECT_0);
  // Both wrote to the one log, each its whole run.
  std::string entries = ReadLog(old.log);
  for (const std::string entry : {"Varnalis 1.4 application open.", "Varnalis 1.4 application close."}) {
    CAPTURE(entry);
    int found = 0;
    for (size_t at = entries.find(entry); at != std::string::npos; at = entries.find(entry, at + 1)) ++found;
    CHECK(found == 2);
  }
}

TEST_CASE("a real alert shows the paged notification box and an Error row, the pages work from outside, and Exit still ends cleanly") {
  // More free memory asked for than any machine has: the second pass is an error.
  Running run({{L"Parameters\\enable0", L"0"},  // Wine has no processor load: N/A
               {L"Parameters\\enable4", L"1"},
               {L"Parameters\\notificationValue4", L"100"},
               {L"Parameters\\diskName", L"C:"},
               {L"Parameters\\notificationValue1", L"999999999"},
               {L"Notifications\\UIEnabled", L"1"},
               {L"Notifications\\UIThreshold", L"2"},
               {L"Notifications\\UIBalloon", L"1"},
               {L"Notifications\\UIMessageBox", L"1"}});
  HWND box = nullptr;
  REQUIRE(WaitFor([&] { return (box = FindWindowW(nullptr, L"Varnalis 1.4 - Notification")) != nullptr; }));
  CHECK(WaitFor([&] { return Text(GetDlgItem(box, IDC_BOX_COUNTER)) == L"1/1"; }));
  CHECK(Text(GetDlgItem(box, IDC_BOX_SUBJECT)) == L"Free Phisical Memory on Localhost Error.");
  CHECK_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_BOX_NEXT)));
  CHECK_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_BOX_PREV)));
  Picture(box, L"notification-box");

  // The Resources page, read from here: the parameter in error, its row tinted.
  HWND dialog = run.OpenDialog();
  HWND page = ShowPage(dialog, 0);
  RemoteList list(GetDlgItem(page, IDC_PARAMS_LIST));
  REQUIRE(list.Count() == 8);
  CHECK(list.Cell(0, 0) + L"|" + list.Cell(1, 0) + L"|" + list.Cell(4, 0) ==
        L"CPU Usage|Free Phisical Memory|Disk Uage (C:)");
  CHECK(list.Cell(1, 2) == L"999999999 MB");
  CHECK(WaitFor([&] { return list.Cell(1, 3) == L"Error"; }));
  CHECK(list.Cell(1, 1).ends_with(L" MB"));
  Picture(dialog, L"page-resources-error");

  // The disk row's advanced settings list what Wine reports; Cancel changes nothing.
  list.Select(4);
  PostMessageW(GetDlgItem(page, IDC_ADVANCED), BM_CLICK, 0, 0);
  HWND advanced = nullptr;
  REQUIRE(WaitFor([&] { return (advanced = FindWindowW(nullptr, L"Disk Usage Advanced Settings")) != nullptr; }));
  CHECK(WaitFor([&] { return IsWindowEnabled(GetDlgItem(advanced, IDC_INSTANCE_LIST)) != FALSE; }));
  Picture(advanced, L"advanced-disk");
  PostMessageW(advanced, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return !IsWindow(advanced); }));
  CHECK(StoredSetting(L"Parameters\\diskName") == L"C:");

  // Test Connection prints the local report while the dialog keeps answering.
  page = ShowPage(dialog, 2);
  PostMessageW(GetDlgItem(page, IDC_TEST_CONNECTION), BM_CLICK, 0, 0);
  HWND report = GetDlgItem(page, IDC_REPORT);
  CHECK(WaitFor([&] { return ControlText(report).starts_with(L"Operating system name: "); }, 60000));
  CHECK(ControlText(report).find(L"Memory size: ") != std::wstring::npos);
  Picture(dialog, L"page-connection-report");

  CHECK(run.Exit());
  std::string entries = ReadLog(run.log);
  for (const char* entry : {"Free Phisical Memory on Localhost Error.", "Send tray icon notification.",
                            "Varnalis 1.4 application close."}) {
    CAPTURE(entry);
    CHECK(entries.find(entry) != std::string::npos);
  }
}
