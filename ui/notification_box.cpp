#include "ui/notification_box.h"

#include <cwchar>

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
