#include "ui/notification_box.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "common/scoped_win.h"
#include "notify/notify_host.h"
#include "res/resource.h"

namespace {

// Shows the newest message; posted by AddMessage so the adding thread never waits.
constexpr UINT kShowNewest = WM_APP + 0x300;
// "At most about a second" for a new box.
constexpr auto kOpenWait = std::chrono::milliseconds(1000);

void Enable(HWND dialog, int id, bool on) {
  HWND control = GetDlgItem(dialog, id);
  if (!on && GetFocus() == control) SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
  EnableWindow(control, on);
}

// What the control's text needs, wrapped to its width as the control wraps it.
int WrappedHeight(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  ScopedWindowDC dc(control);
  ScopedSelect font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, client.right, 0};
  DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &needed,
            DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS | DT_NOPREFIX);
  return needed.bottom;
}

// Where the control lies in its dialog, in client pixels.
RECT PlaceOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

NotificationBoxes::~NotificationBoxes() {
  Close(std::chrono::milliseconds::max());
}

void NotificationBoxes::ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int kind) {
  std::unique_lock<std::mutex> hold(lock_);
  if (box_ == nullptr && !starting_ && !closing_) {
    // Threads of closed boxes that have ended; one still taking its window
    // down (Wine takes seconds) is left to Close.
    if (running_ == 0) {
      for (std::thread& ended : threads_) ended.join();
      threads_.clear();
    }
    starting_ = true;
    try {
      threads_.emplace_back(&NotificationBoxes::RunBox, this);
    } catch (const std::system_error&) {
      starting_ = false;
      return;
    }
    ++running_;
  }
  changed_.wait_for(hold, kOpenWait, [this] { return box_ != nullptr || !starting_ || closing_; });
  if (box_ != nullptr && !closing_) box_->AddMessage({subject, body, kind});
}

void NotificationBoxes::Close(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> hold(lock_);
  closing_ = true;
  if (box_ != nullptr) PostMessageW(box_->Window(), WM_COMMAND, IDCANCEL, 0);
  auto ended = [this] { return running_ == 0; };
  bool done = wait == std::chrono::milliseconds::max() ? (changed_.wait(hold, ended), true)
                                                       : changed_.wait_for(hold, wait, ended);
  std::vector<std::thread> threads = std::move(threads_);
  hold.unlock();
  for (std::thread& thread : threads) {
    if (done) {
      thread.join();
    } else {
      thread.detach();  // the process is ending; the box goes with it
    }
  }
}

HWND NotificationBoxes::Window() {
  std::lock_guard<std::mutex> hold(lock_);
  return box_ != nullptr ? box_->Window() : nullptr;
}

void NotificationBoxes::RunBox() {
  ThreadMessageBox box(*this);
  box.Run();
  std::lock_guard<std::mutex> hold(lock_);
  if (box_ == &box) box_ = nullptr;
  if (box.Window() == nullptr) starting_ = false;  // the dialog could not be made
  --running_;
  changed_.notify_all();
}

void NotificationBoxes::Published(ThreadMessageBox* box) {
  std::lock_guard<std::mutex> hold(lock_);
  starting_ = false;
  if (closing_) {
    PostMessageW(box->Window(), WM_COMMAND, IDCANCEL, 0);
  } else {
    box_ = box;
  }
  changed_.notify_all();
}

void NotificationBoxes::Closing(ThreadMessageBox* box) {
  std::lock_guard<std::mutex> hold(lock_);
  if (box_ == box) box_ = nullptr;  // nothing is added from here on
  changed_.notify_all();
}

void ThreadMessageBox::Run() {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NOTIFICATION_BOX), nullptr, DialogProc,
                  reinterpret_cast<LPARAM>(this));
}

void ThreadMessageBox::AddMessage(Message message) {
  messages_.push_back(std::move(message));
  PostMessageW(window_, kShowNewest, 0, 0);
}

void ThreadMessageBox::ShowMessage(size_t index) {
  Message message;
  size_t count;
  {
    std::lock_guard<std::mutex> hold(owner_.lock_);
    count = messages_.size();
    if (index >= count) return;
    message = messages_[index];
  }
  shown_ = index;
  SetDlgItemTextW(window_, IDC_BOX_BODY, message.body.c_str());
  SetDlgItemTextW(window_, IDC_BOX_SUBJECT, message.subject.c_str());
  Enable(window_, IDC_BOX_NEXT, index + 1 < count);
  Enable(window_, IDC_BOX_PREV, index != 0);
  HICON icon = LoadIconW(nullptr, message.kind == kBoxError ? IDI_ERROR : IDI_INFORMATION);
  SendDlgItemMessageW(window_, IDC_BOX_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  wchar_t counter[32];
  std::swprintf(counter, 32, L"%d/%d", static_cast<int>(index + 1), static_cast<int>(count));
  SetDlgItemTextW(window_, IDC_BOX_COUNTER, counter);
  FitTexts();
}

void ThreadMessageBox::KeepLayout() {
  for (Placed& control : layout_) control.rect = PlaceOf(GetDlgItem(window_, control.id));
  icon_ = PlaceOf(GetDlgItem(window_, IDC_BOX_ICON));
  GetWindowRect(window_, &frame_);
}

// The whole subject is shown, wrapped, since its end says the state; the
// body grows the same way, and what lies below them moves down.
void ThreadMessageBox::FitTexts() {
  HWND subject = GetDlgItem(window_, IDC_BOX_SUBJECT);
  HWND body = GetDlgItem(window_, IDC_BOX_BODY);
  const RECT& subjectAt = layout_[0].rect;
  const RECT& bodyAt = layout_[1].rect;
  int subjectHeight = std::max<int>(subjectAt.bottom - subjectAt.top, WrappedHeight(subject));
  int bodyHeight = std::max<int>(bodyAt.bottom - bodyAt.top, WrappedHeight(body));
  int bodyShift = std::max<LONG>(0, subjectAt.top + subjectHeight - std::max(subjectAt.bottom, icon_.bottom));
  int shift = bodyShift + bodyHeight - (bodyAt.bottom - bodyAt.top);

  // Never taller than the screen: an absurdly long text is cut instead.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  int spare = std::max<int>(0, (monitor.rcWork.bottom - monitor.rcWork.top) - (frame_.bottom - frame_.top));
  if (shift > spare) {
    int cut = shift - spare;
    int bodyCut = std::min(cut, bodyHeight - static_cast<int>(bodyAt.bottom - bodyAt.top));
    bodyHeight -= bodyCut;
    subjectHeight -= cut - bodyCut;
    bodyShift -= cut - bodyCut;
    shift = spare;
  }

  SetWindowPos(subject, nullptr, 0, 0, subjectAt.right - subjectAt.left, subjectHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(body, nullptr, bodyAt.left, bodyAt.top + bodyShift, bodyAt.right - bodyAt.left, bodyHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (size_t i = 2; i < std::size(layout_); ++i) {
    const RECT& at = layout_[i].rect;
    SetWindowPos(GetDlgItem(window_, layout_[i].id), nullptr, at.left, at.top + shift, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowPos(window_, nullptr, 0, 0, frame_.right - frame_.left, frame_.bottom - frame_.top + shift,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, nullptr, TRUE);
}

INT_PTR CALLBACK ThreadMessageBox::DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<ThreadMessageBox*>(lParam)->window_ = window;
  }
  auto* box = reinterpret_cast<ThreadMessageBox*>(GetWindowLongPtrW(window, DWLP_USER));
  return box != nullptr ? box->OnMessage(msg, wParam, lParam) : FALSE;
}

INT_PTR ThreadMessageBox::OnMessage(UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      KeepLayout();
      EnableWindow(GetDlgItem(window_, IDC_BOX_NEXT), FALSE);
      EnableWindow(GetDlgItem(window_, IDC_BOX_PREV), FALSE);
      owner_.Published(this);
      return TRUE;
    case kShowNewest: {
      size_t count;
      {
        std::lock_guard<std::mutex> hold(owner_.lock_);
        count = messages_.size();
      }
      if (count > 0) ShowMessage(count - 1);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_BOX_NEXT:
          ShowMessage(shown_ + 1);
          return TRUE;
        case IDC_BOX_PREV:
          if (shown_ > 0) ShowMessage(shown_ - 1);
          return TRUE;
        case IDOK:
        case IDCANCEL:
          owner_.Closing(this);
          EndDialog(window_, LOWORD(wParam));
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}
