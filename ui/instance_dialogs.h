#pragma once
// The advanced settings of the parameters that watch one instance: small
// modal dialogs that list the names the watched computer reports now and let
// the user choose one, or the total over all of them.
#include <windows.h>

#include <string>

#include "ui/dialog_binding.h"
#include "wmi/instance_lists.h"

class EngineAccess;
struct ConnectionSettings;

// One member of the family; each differs only in what Kind says. The names
// are read on a worker thread, so the dialog stays responsive meanwhile. The
// dialog never writes a setting: its caller stores the chosen name.
class InstanceSettings : public DialogBinding<InstanceSettings> {
 public:
  InstanceSettings(const InstanceSettings&) = delete;
  InstanceSettings& operator=(const InstanceSettings&) = delete;

  // Runs the dialog modally over parent; true when OK ended it.
  bool DoModal(HWND parent);
  // Empty means the total over all instances (for a process: none chosen).
  const std::wstring& ChosenName() const { return chosenName_; }

 protected:
  struct Kind {
    int templateId;
    InstanceKind instances;
    bool totalChoice;  // the radio buttons for the total and for one instance
  };
  InstanceSettings(const Kind& kind, const ConnectionSettings& connection, EngineAccess& engine,
                   std::wstring chosenName);

 private:
  struct Listed;
  friend class DialogBinding<InstanceSettings>;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void StartListing();
  void OnListed(Listed listed);
  void OnCommand(int id, int code);
  // The radio buttons, the list's selection and whether it can be used follow the chosen name.
  void RefreshControls();
  // The checked radio button; for the process, its list once it can be used.
  int FocusId() const;
  // Disables a control, first moving the focus off it.
  void Enable(HWND control, bool on);
  HWND List() const;

  const Kind kind_;
  const ConnectionSettings& connection_;
  EngineAccess& engine_;
  std::wstring chosenName_;
  HWND parent_ = nullptr;
  bool loading_ = true;
};

// The dialog that chooses the network adapter to watch.
class NetworkSettings final : public InstanceSettings {
 public:
  NetworkSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName);
};

// The dialog that chooses the disk to watch.
class DiskSettings final : public InstanceSettings {
 public:
  DiskSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName);
};

// The dialog that chooses the web site whose connections are counted.
class ConnectionsSettings final : public InstanceSettings {
 public:
  ConnectionsSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName);
};

// The dialog that chooses the process to watch.
class ProcessSettings final : public InstanceSettings {
 public:
  ProcessSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName);
};

// Runs the advanced settings of parameter row (3 network adapter, 4 logical disk, 6 process, 7 web server)
// modally over parent, preset with chosen. True when OK ended it; chosen then holds the choice. Other rows: false.
bool RunAdvancedSettings(int row, HWND parent, const ConnectionSettings& connection, EngineAccess& engine,
                         std::wstring& chosen);
