// The host's session: the master file and the monitors that follow it.
#pragma once

#include "host/ZelFile.h"

namespace Teskor::KreelPlatform {

/// Receives the session's notifications; every notification has a default that does nothing.
class SessionMonitor {
 public:
  virtual ~SessionMonitor() = default;
  virtual void OnMasterFileOpened(ZelPlatform::ZelFile& /*file*/) {}
  virtual void OnMasterFileClosing(ZelPlatform::ZelFile& /*file*/) {}
  virtual void OnMasterFileClosed() {}
  virtual void OnMasterFileSaved() {}
  virtual void OnSessionRefresh() {}
  virtual void OnModelActivated() {}
  virtual void OnReferenceAttached() {}
  virtual void OnReferenceDetached() {}
  virtual void OnUndoRedoFinished() {}
  // Questions the session asks before it acts; true would claim the event.
  virtual bool OnQueryCloseMaster() { return false; }
  virtual bool OnQuerySaveMaster() { return false; }
  virtual bool OnQueryExit() { return false; }
  virtual bool OnQueryUndo() { return false; }
  virtual bool OnQueryReload() { return false; }
};

class ISessionMgr {
 public:
  static ISessionMgr& GetManager();
  /// The master file, or null when none is open.
  virtual ZelPlatform::ZelFile* GetMasterZelFile() = 0;
  /// Adding a monitor twice registers it once.
  virtual void AddSessionMonitor(SessionMonitor& monitor) = 0;
  virtual void DropSessionMonitor(SessionMonitor& monitor) = 0;

 protected:
  ~ISessionMgr() = default;
};

}  // namespace Teskor::KreelPlatform
