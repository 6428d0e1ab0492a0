// Starts varnalis.exe and works it from outside, as a user's automation would:
// through its hidden window's tray callback and menu commands, reading the
// dialog's controls from this process, and screenshots of what it shows.
#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
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

namespace {

std::wstring Text(HWND window) {
  wchar_t text[512]{};
  GetWindowTextW(window, text, 512);
  return text;
}

HWND FindDialog(DWORD process) {
  struct Search {
    DWORD process;
    HWND found;
  } search{process, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t cls[32]{};
        GetClassNameW(window, cls, 32);
        if (owner == s->process && std::wstring(cls) == L"#32770" && IsWindowVisible(window) &&
            Text(window) == L"Varnalis 1.4") {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window as the screen shows it, as a BMP file, once it has painted what it holds.
void SaveScreenshot(HWND window, const std::wstring& path) {
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
  std::ofstream out(path.c_str(), std::ios::binary);
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
  void Select(int row) const {
    if (memory_ == nullptr) return;
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(process_.Get(), memory_, &item, sizeof item, nullptr);
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_));
  }

 private:
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

// The NAME=VALUE lines of the peers file the test runner wrote.
std::wstring Peer(const std::string& name) {
  std::ifstream in(FromEnvironment("VARNALIS_PEERS").c_str());
  std::string line;
  std::wstring value;
  while (std::getline(in, line)) {
    if (line.rfind(name + "=", 0) == 0 && FromUtf8(line.substr(name.size() + 1), value)) return value;
  }
  return {};
}

// A fresh settings key with what a run needs (once anything is stored, a
// missing value reads as 0) and the log in the temporary folder; its path.
std::wstring PrepareSettings(std::initializer_list<std::pair<const wchar_t*, std::wstring>> extra) {
  wchar_t temp[MAX_PATH]{};
  GetTempPathW(MAX_PATH, temp);
  std::wstring log = std::wstring(temp) + L"varnalis-e2e.log";
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellard Software\\Varnalis 1.4");
  const std::pair<const wchar_t*, std::wstring> settings[] = {
      {L"Connection\\local", L"1"},     {L"Connection\\period", L"500"}, {L"Log\\SaveLog", L"1"},
      {L"Log\\Filename", log},          {L"Log\\ClearLog", L"1"},        {L"Main\\HideSplash", L"1"},
      {L"Interface\\dlgX", L"-1"},      {L"Interface\\dlgY", L"-1"},     {L"Parameters\\enable0", L"1"},
      {L"Parameters\\notificationValue0", L"95"}, {L"Parameters\\enable1", L"1"},
      {L"Parameters\\notificationValue1", L"100"}, {L"Interface\\paramsName", L"170"},
      {L"Interface\\paramsValue", L"110"},    {L"Interface\\paramsMaxValue", L"100"},
      {L"Interface\\paramsState", L"75"},   {L"Interface\\logType", L"70"},
      {L"Interface\\logTime", L"150"},      {L"Interface\\logText", L"300"}};
  for (const auto& [name, value] : settings) StoreSetting(name, value);
  for (const auto& [name, value] : extra) StoreSetting(name, value);
  return log;
}

}  // namespace

TEST_CASE("the tray program starts once, opens its dialog from the tray, switches monitoring and exits cleanly") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  std::wstring shots = FromEnvironment("VARNALIS_SHOTS");
  REQUIRE(!program.empty());
  SettingsKeyRemoved cleanUp;
  std::wstring log = PrepareSettings({});

  ScopedHandle first = Start(program);
  EndAtExit guard{first.Get()};
  HWND tray = nullptr;
  REQUIRE(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }));
  DWORD firstId = GetProcessId(first.Get());

  // A double click on the icon opens the dialog.
  PostMessageW(tray, 0x8064, 0, WM_LBUTTONDBLCLK);
  HWND dialog = nullptr;
  REQUIRE(WaitFor([&] { return (dialog = FindDialog(firstId)) != nullptr; }));
  HWND status = GetDlgItem(dialog, IDC_STATUS);
  CHECK(Text(GetDlgItem(dialog, IDC_SERVER_LABEL)) == L"Localhost");
  CHECK(WaitFor([&] { return Text(status).starts_with(L"Last monitoring finished: "); }));

  // Stop and Start from the tray menu: the status line and the buttons follow.
  PostMessageW(tray, WM_COMMAND, ID_TRAY_STOP, 0);
  CHECK(WaitFor([&] { return Text(status).starts_with(L"Stopped at "); }));
  // The dialog flips the two buttons one after the other: wait for both.
  CHECK(WaitFor([&] {
    return IsWindowEnabled(GetDlgItem(dialog, IDC_START)) != FALSE &&
           IsWindowEnabled(GetDlgItem(dialog, IDC_STOP)) == FALSE;
  }));
  PostMessageW(tray, WM_COMMAND, ID_TRAY_START, 0);
  CHECK(WaitFor([&] { return Text(status).starts_with(L"Stopped at ") == false; }));
  CHECK(WaitFor([&] {
    return IsWindowEnabled(GetDlgItem(dialog, IDC_STOP)) != FALSE &&
           IsWindowEnabled(GetDlgItem(dialog, IDC_START)) == FALSE;
  }));

  // Every page, as a picture.
  HWND sheet = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  REQUIRE(sheet != nullptr);
  const wchar_t* pages[] = {L"resources", L"notifications", L"connection", L"log", L"options", L"about"};
  for (int page = 0; page < 6; ++page) {
    SendMessageW(sheet, PSM_SETCURSEL, page, 0);
    if (page == 3) {  // the Log page's rows, and Clear Log with them, arrive posted
      HWND log = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
      CHECK_MESSAGE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(log, IDC_CLEAR_LOG)) != FALSE; }),
                    "awaited: the Log page's rows and its Clear Log button");
    }
    if (!shots.empty()) SaveScreenshot(dialog, shots + L"\\dialog-" + pages[page] + L".bmp");
  }
  // The About page tells the version the program's file carries.
  HWND about = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  CHECK(ControlText(GetDlgItem(about, IDC_ABOUT_VERSION)) == L"Version " + FileVersion(program));
  CHECK(FileVersion(program).starts_with(L"1.4."));

  // Closed and opened again from the menu; it keeps to where it was.
  SetWindowPos(dialog, nullptr, 60, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return FindDialog(firstId) == nullptr; }));
  PostMessageW(tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  REQUIRE(WaitFor([&] { return (dialog = FindDialog(firstId)) != nullptr; }));
  RECT place{};
  GetWindowRect(dialog, &place);
  CHECK(place.left == 60);
  CHECK(place.top == 40);
  // Opened again while open (minimised, here): the same dialog comes back.
  ShowWindow(dialog, SW_MINIMIZE);
  PostMessageW(tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  CHECK(WaitFor([&] { return IsIconic(dialog) == FALSE; }));
  CHECK(FindDialog(firstId) == dialog);

  // Exit with the dialog open: it closes, stores its place, and the program ends.
  SetWindowPos(dialog, nullptr, 70, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(first.Get(), 20000) == WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(first.Get(), &code);
  CHECK(code == 0);
  CHECK(StoredSetting(L"Interface\\dlgX") == L"70");
  CHECK(StoredSetting(L"Interface\\dlgY") == L"50");

  std::string entries = ReadLog(log);
  const char* expected[] = {"Varnalis 1.4 application open.", "Monitoring started.", "Monitoring stopped.",
                            "Monitoring started.", "Varnalis 1.4 application close."};
  size_t at = 0;
  for (const char* entry : expected) {
    CAPTURE(entry);
    at = entries.find(entry, at);
    CHECK(at != std::string::npos);
    if (at == std::string::npos) break;
    ++at;
  }
  DeleteFileW(log.c_str());
}

TEST_CASE("started again, the program opens the running copy's dialog, also with its icon hidden; at logon it ends quietly") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
  SettingsKeyRemoved cleanUp;
  std::wstring log = PrepareSettings({{L"Main\\HideIcon", L"1"}});
  ScopedHandle first = Start(program);
  EndAtExit guard{first.Get()};
  HWND tray = nullptr;
  REQUIRE(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }));
  DWORD firstId = GetProcessId(first.Get());

  HWND dialog = nullptr;
  for (const char* when : {"closed", "minimised"}) {
    CAPTURE(when);
    ScopedHandle again = Start(program);
    CHECK(WaitForSingleObject(again.Get(), 15000) == WAIT_OBJECT_0);
    CHECK(WaitFor([&] { return (dialog = FindDialog(firstId)) != nullptr && IsIconic(dialog) == FALSE; }));
    ShowWindow(dialog, SW_MINIMIZE);
    CHECK(WaitFor([&] { return IsIconic(dialog) != FALSE; }));
  }
  CHECK(FindWindowW(WC_STATICW, L"Vrnwnd") == tray);

  // At logon, with a copy running: no wait and no dialog.
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return FindDialog(firstId) == nullptr; }));
  ScopedHandle atLogon = Start(program, L"autorun");
  EndAtExit endAtLogon{atLogon.Get()};
  CHECK(WaitForSingleObject(atLogon.Get(), 15000) == WAIT_OBJECT_0);
  CHECK_FALSE(WaitFor([&] { return FindDialog(firstId) != nullptr; }, 2000));

  PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(first.Get(), 20000) == WAIT_OBJECT_0);
  DeleteFileW(log.c_str());
}

TEST_CASE("a copy started right after Exit starts in full while the last one still winds down") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
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

  SettingsKeyRemoved cleanUp;
  std::wstring log = PrepareSettings({{L"Log\\ClearLog", L"0"}});
  DeleteFileW(log.c_str());
  ScopedHandle old = Start(program);
  EndAtExit guardOld{old.Get()};
  HWND tray = nullptr;
  REQUIRE(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }));
  PostMessageW(tray, WM_COMMAND, ID_TRAY_OPEN, 0);
  HWND dialog = nullptr;
  REQUIRE(WaitFor([&] { return (dialog = FindDialog(GetProcessId(old.Get()))) != nullptr; }));
  HWND sheet = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
  HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  RemoteList(GetDlgItem(page, IDC_CHANNEL_LIST)).Select(1);
  REQUIRE(WaitFor([&] { return IsWindowVisible(GetDlgItem(page, IDC_TEST_MAIL)) != FALSE; }));
  const std::pair<int, std::wstring> fields[] = {{IDC_MAIL_SERVER, L"127.0.0.1"},
                                                 {IDC_MAIL_PORT, std::to_wstring(server.Port())},
                                                 {IDC_MAIL_SENDER, L"varnalis@example.test"},
                                                 {IDC_MAIL_RECIPIENT, L"admin@example.test"}};
  for (const auto& [id, text] : fields)
    SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  PostMessageW(GetDlgItem(page, IDC_TEST_MAIL), BM_CLICK, 0, 0);
  REQUIRE(WaitFor([&] { return connected.load(); }));

  PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  REQUIRE(WaitFor([] { return FindWindowW(WC_STATICW, L"Vrnwnd") == nullptr; }));
  ScopedHandle next = Start(program);
  EndAtExit guardNext{next.Get()};
  HWND nextTray = nullptr;
  CHECK(WaitFor([&] { return (nextTray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }, 30000));
  CHECK(WaitForSingleObject(old.Get(), 0) == WAIT_TIMEOUT);  // still waiting for its mail
  gate.Open();
  CHECK(WaitForSingleObject(old.Get(), 30000) == WAIT_OBJECT_0);

  PostMessageW(nextTray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(next.Get(), 20000) == WAIT_OBJECT_0);
  // Both wrote to the one log, each its whole run.
  std::string entries = ReadLog(log);
  auto count = [&](const std::string& entry) {
    int found = 0;
    for (size_t at = entries.find(entry); at != std::string::npos; at = entries.find(entry, at + 1)) ++found;
    return found;
  };
  CHECK(count("Varnalis 1.4 application open.") == 2);
  CHECK(count("Varnalis 1.4 application close.") == 2);
  DeleteFileW(log.c_str());
}

TEST_CASE("a real alert shows the paged notification box and an Error row, the pages work from outside, and Exit still ends cleanly") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
  SettingsKeyRemoved cleanUp;
  // More free memory asked for than any machine has: the second pass is an error.
  std::wstring log = PrepareSettings({{L"Parameters\\enable0", L"0"},  // Wine has no processor load: N/A
                                      {L"Parameters\\enable4", L"1"},
                                      {L"Parameters\\notificationValue4", L"100"},
                                      {L"Parameters\\diskName", L"C:"},
                                      {L"Parameters\\notificationValue1", L"999999999"},
                                      {L"Notifications\\UIEnabled", L"1"},
                                      {L"Notifications\\UIThreshold", L"2"},
                                      {L"Notifications\\UIBalloon", L"1"},
                                      {L"Notifications\\UIMessageBox", L"1"}});
  ScopedHandle process = Start(program);
  EndAtExit guard{process.Get()};
  HWND tray = nullptr;
  REQUIRE(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }));
  HWND box = nullptr;
  REQUIRE(WaitFor([&] { return (box = FindWindowW(nullptr, L"Varnalis 1.4 - Notification")) != nullptr; }));
  CHECK(WaitFor([&] { return Text(GetDlgItem(box, IDC_BOX_COUNTER)) == L"1/1"; }));
  CHECK(Text(GetDlgItem(box, IDC_BOX_SUBJECT)) == L"Free Phisical Memory on Localhost Error.");
  CHECK_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_BOX_NEXT)));
  CHECK_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_BOX_PREV)));
  std::wstring shots = FromEnvironment("VARNALIS_SHOTS");
  if (!shots.empty()) SaveScreenshot(box, shots + L"\\notification-box.bmp");

  // The Resources page, read from here: the parameter in error, its row tinted.
  PostMessageW(tray, 0x8064, 0, WM_LBUTTONDBLCLK);
  HWND dialog = nullptr;
  REQUIRE(WaitFor([&] { return (dialog = FindDialog(GetProcessId(process.Get()))) != nullptr; }));
  HWND sheet = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  REQUIRE(sheet != nullptr);
  HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  RemoteList list(GetDlgItem(page, IDC_PARAMS_LIST));
  REQUIRE(list.Count() == 8);
  CHECK(list.Cell(0, 0) == L"CPU Usage");
  CHECK(list.Cell(1, 0) == L"Free Phisical Memory");
  CHECK(list.Cell(4, 0) == L"Disk Uage (C:)");
  CHECK(list.Cell(1, 2) == L"999999999 MB");
  CHECK(WaitFor([&] { return list.Cell(1, 3) == L"Error"; }));
  CHECK(list.Cell(1, 1).find(L" MB") != std::wstring::npos);
  if (!shots.empty()) SaveScreenshot(dialog, shots + L"\\page-resources-error.bmp");

  // The disk row's advanced settings list what Wine reports; Cancel changes nothing.
  list.Select(4);
  PostMessageW(GetDlgItem(page, IDC_ADVANCED), BM_CLICK, 0, 0);
  HWND advanced = nullptr;
  REQUIRE(WaitFor([&] { return (advanced = FindWindowW(nullptr, L"Disk Usage Advanced Settings")) != nullptr; }));
  HWND names = GetDlgItem(advanced, IDC_INSTANCE_LIST);
  CHECK(WaitFor([&] { return IsWindowEnabled(names) != FALSE; }));
  if (!shots.empty()) SaveScreenshot(advanced, shots + L"\\advanced-disk.bmp");
  PostMessageW(advanced, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitFor([&] { return !IsWindow(advanced); }));
  CHECK(StoredSetting(L"Parameters\\diskName") == L"C:");

  // Test Connection prints the local report while the dialog keeps answering.
  SendMessageW(sheet, PSM_SETCURSEL, 2, 0);
  page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  PostMessageW(GetDlgItem(page, IDC_TEST_CONNECTION), BM_CLICK, 0, 0);
  HWND report = GetDlgItem(page, IDC_REPORT);
  CHECK(WaitFor([&] { return ControlText(report).starts_with(L"Operating system name: "); }, 60000));
  CHECK(ControlText(report).find(L"Memory size: ") != std::wstring::npos);
  if (!shots.empty()) SaveScreenshot(dialog, shots + L"\\page-connection-report.bmp");

  PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(process.Get(), 20000) == WAIT_OBJECT_0);
  std::string entries = ReadLog(log);
  CHECK(entries.find("Free Phisical Memory on Localhost Error.") != std::string::npos);
  CHECK(entries.find("Send tray icon notification.") != std::string::npos);
  CHECK(entries.find("Varnalis 1.4 application close.") != std::string::npos);
  DeleteFileW(log.c_str());
}

TEST_CASE("only the exact word autorun makes the program wait a minute before it starts") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
  SettingsKeyRemoved cleanUp;
  std::wstring log = PrepareSettings({});
  ScopedHandle waiting = Start(program, L"autorun");
  EndAtExit endWaiting{waiting.Get()};
  CHECK_FALSE(WaitFor([] { return FindWindowW(WC_STATICW, L"Vrnwnd") != nullptr; }, 3000));
  CHECK(WaitForSingleObject(waiting.Get(), 0) == WAIT_TIMEOUT);
  TerminateProcess(waiting.Get(), 1);
  WaitForSingleObject(waiting.Get(), 5000);

  for (const wchar_t* other : {L"Autorun", L"autorun2"}) {
    CAPTURE(std::string(other, other + wcslen(other)));
    ScopedHandle started = Start(program, other);
    EndAtExit end{started.Get()};
    HWND tray = nullptr;
    CHECK(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }, 5000));
    PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
    CHECK(WaitForSingleObject(started.Get(), 20000) == WAIT_OBJECT_0);
  }
  DeleteFileW(log.c_str());
}

TEST_CASE("the Notifications page, set up from outside, sends a test mail through verified STARTTLS") {
  std::wstring program = FromEnvironment("VARNALIS_EXE");
  REQUIRE(!program.empty());
  std::wstring port = Peer("starttls");
  REQUIRE_MESSAGE(!port.empty(), "run this through tests/peers/run_with_peers.py");
  SettingsKeyRemoved cleanUp;
  std::wstring log = PrepareSettings({});
  ScopedHandle process = Start(program);
  EndAtExit guard{process.Get()};
  HWND tray = nullptr;
  REQUIRE(WaitFor([&] { return (tray = FindWindowW(WC_STATICW, L"Vrnwnd")) != nullptr; }));
  PostMessageW(tray, 0x8064, 0, WM_LBUTTONDBLCLK);
  HWND dialog = nullptr;
  REQUIRE(WaitFor([&] { return (dialog = FindDialog(GetProcessId(process.Get()))) != nullptr; }));
  HWND sheet = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
  HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  RemoteList(GetDlgItem(page, IDC_CHANNEL_LIST)).Select(1);
  REQUIRE(WaitFor([&] { return IsWindowVisible(GetDlgItem(page, IDC_MAIL_SERVER)) != FALSE; }));

  // Typed as a user's automation types: each field's text set, each box clicked.
  const std::pair<int, std::wstring> fields[] = {
      {IDC_MAIL_SERVER, L"localhost"},   {IDC_MAIL_PORT, port},         {IDC_MAIL_SENDER, L"varnalis@example.test"},
      {IDC_MAIL_RECIPIENT, L"admin@example.test"}};
  for (const auto& [id, text] : fields) SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(GetDlgItem(page, IDC_MAIL_AUTH), BM_CLICK, 0, 0);
  SendMessageW(GetDlgItem(page, IDC_MAIL_SSL), BM_CLICK, 0, 0);
  for (const auto& [id, text] : {std::pair<int, std::wstring>{IDC_MAIL_USER, Peer("user")}, {IDC_MAIL_PASSWORD, Peer("password")}})
    SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));

  PostMessageW(GetDlgItem(page, IDC_TEST_MAIL), BM_CLICK, 0, 0);
  HWND result = GetDlgItem(page, IDC_TEST_MAIL_RESULT);
  CHECK(WaitFor([&] { return ControlText(result).starts_with(L"Test mail "); }, 60000));
  CHECK(ControlText(result).starts_with(L"Test mail sent."));
  std::wstring shots = FromEnvironment("VARNALIS_SHOTS");
  if (!shots.empty()) SaveScreenshot(dialog, shots + L"\\page-notifications-test-mail.bmp");

  // What the page stored is what the program saves at its exit.
  PostMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
  CHECK(WaitForSingleObject(process.Get(), 20000) == WAIT_OBJECT_0);
  CHECK(StoredSetting(L"Notifications\\EMailPort") == port);
  CHECK(StoredSetting(L"Notifications\\EMailSSL") == L"1");
  DeleteFileW(log.c_str());
}
