#pragma once
// The notification box: a small dialog on a thread of its own that collects
// the notifications and lets the user page through them, so the monitor
// thread never waits for the user.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"

class ThreadMessageBox;

// Owns the box's thread and the one open box. Callable from any thread.
class NotificationBoxes {
 public:
  NotificationBoxes() = default;
  // Closes an open box and waits for its thread.
  ~NotificationBoxes();
  NotificationBoxes(const NotificationBoxes&) = delete;
  NotificationBoxes& operator=(const NotificationBoxes&) = delete;

  // Adds the message to the open box, opening one first when there is none.
  // Waits at most about a second for a new box; the message is dropped when
  // none is up by then.
  void ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int kind);
  // Ends an open box and waits for its thread, at most wait.
  void Close(std::chrono::milliseconds wait = std::chrono::milliseconds(5000));
  // The open box's window, or null.
  HWND Window();

 private:
  friend class ThreadMessageBox;
  void RunBox();
  // Called by the box on its thread.
  void Published(ThreadMessageBox* box);
  void Closing(ThreadMessageBox* box);

  std::mutex lock_;
  std::condition_variable changed_;
  ThreadMessageBox* box_ = nullptr;  // under lock_: set once its window is up
  bool starting_ = false;            // under lock_: the box's thread is making its window
  int running_ = 0;                  // under lock_: box threads that have not ended
  bool closing_ = false;             // under lock_: no new box from here on
  std::vector<std::thread> threads_;  // under lock_
};

// One notification box on its own thread.
class ThreadMessageBox {
 public:
  struct Message {
    std::wstring subject;
    std::wstring body;
    int kind;  // kBoxError or kBoxReturn
  };

  explicit ThreadMessageBox(NotificationBoxes& owner) : owner_(owner) {}

  // Runs the dialog on the calling thread until it is closed.
  void Run();
  // Appends a message and shows it; any thread (the caller holds the owner's lock).
  void AddMessage(Message message);
  // On the box's thread.
  void ShowMessage(size_t index);
  HWND Window() const { return window_; }

 private:
  // A control and where the dialog first placed it, in client pixels.
  struct Placed {
    int id;
    RECT rect;
  };

  static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Takes the dialog's first layout, which each message's layout starts from.
  void KeepLayout();
  // Sizes the texts to what they need and moves the rest below them.
  void FitTexts();

  NotificationBoxes& owner_;
  HWND window_ = nullptr;
  std::vector<Message> messages_;  // under the owner's lock
  size_t shown_ = 0;               // box thread only
  // Box thread only: the subject, the body, then what lies below them.
  Placed layout_[6] = {{IDC_BOX_SUBJECT, {}}, {IDC_BOX_BODY, {}},  {IDC_BOX_COUNTER, {}},
                       {IDC_BOX_PREV, {}},    {IDC_BOX_NEXT, {}},  {IDOK, {}}};
  RECT icon_{};
  RECT frame_{};
};
