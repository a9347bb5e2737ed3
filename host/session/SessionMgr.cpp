// The host's session: the master file, the design libraries and the monitors that follow them.
#include "host/SessionMgr.h"

#include <algorithm>
#include <iostream>

#include "host/exchange/RecoveryFile.h"
#include "host/session/HostState.h"

using Teskor::KreelPlatform::SessionMonitor;
using Teskor::ZelPlatform::ZelFile;

namespace ornhost::detail {

namespace {

bool IsRegistered(const SessionMonitor* monitor) {
  const auto& monitors = State().monitors;
  return std::find(monitors.begin(), monitors.end(), monitor) != monitors.end();
}

class Session final : public Teskor::KreelPlatform::ISessionMgr {
 public:
  ZelFile* GetMasterZelFile() override {
    LogCall("ISessionMgr::GetMasterZelFile");
    return State().master;
  }
  void AddSessionMonitor(SessionMonitor& monitor) override {
    LogCall("ISessionMgr::AddSessionMonitor");
    if (!IsRegistered(&monitor)) State().monitors.push_back(&monitor);
  }
  void DropSessionMonitor(SessionMonitor& monitor) override {
    LogCall("ISessionMgr::DropSessionMonitor");
    std::erase(State().monitors, &monitor);
  }
};

// A monitor that fails must not break the host or keep the others from hearing the news.
template <typename Call>
void Notify(const char* notification, Call call) {
  // A copy: monitors may be added or dropped while they are notified.
  const auto monitors = State().monitors;
  for (SessionMonitor* monitor : monitors) {
    // One dropped meanwhile may be gone already.
    if (!IsRegistered(monitor)) continue;
    try {
      call(*monitor);
    } catch (const std::exception& error) {
      std::cerr << "ornhost: session monitor failed in " << notification << ": " << error.what()
                << '\n';
    } catch (...) {
      std::cerr << "ornhost: session monitor failed in " << notification << '\n';
    }
  }
}

}  // namespace

}  // namespace ornhost::detail

namespace Teskor::KreelPlatform {

ISessionMgr& ISessionMgr::GetManager() {
  static auto* session = new ornhost::detail::Session;
  return *session;
}

}  // namespace Teskor::KreelPlatform

namespace ornhost {

using detail::State;

ZelFile& OpenMaster(const std::filesystem::path& path) {
  CloseMaster();
  detail::HostFile& file = detail::OpenFile(path, detail::DesignFile::Access::ReadWrite);
  State().master = &file;
  detail::Notify("OnMasterFileOpened",
                 [&](SessionMonitor& monitor) { monitor.OnMasterFileOpened(file); });
  return file;
}

void CloseMaster() {
  detail::HostFile* file = State().master;
  if (file == nullptr) return;
  State().closing = detail::Closing{file, {}, false};
  detail::Notify("OnMasterFileClosing",
                 [&](SessionMonitor& monitor) { monitor.OnMasterFileClosing(*file); });
  detail::Closing closing = std::move(*State().closing);
  State().closing.reset();
  detail::KeepUnsavedSetups(*file, closing);
  if (State().master == file) State().master = nullptr;
  file->Close();
}

void Refresh() {
  // A master file of an older format that another session upgraded is written from now on.
  if (detail::HostFile* master = State().master; master != nullptr && master->IsWritable()) {
    try {
      master->Db()->FollowUpgrade();
    } catch (const DesignFileError& error) {
      detail::ReportError(error.what());
    }
  }
  detail::Notify("OnSessionRefresh", [](SessionMonitor& monitor) { monitor.OnSessionRefresh(); });
}

bool AwaitMasterFileCheck() {
  detail::HostFile* master = State().master;
  return master == nullptr || !master->IsOpen() || master->Db()->AwaitCheck().empty();
}

ZelFile& AddLibrary(const std::filesystem::path& path) {
  const auto wanted = detail::ComparablePath(path);
  for (detail::HostFile* library : State().libraries) {
    if (library->CanonicalPath() == wanted) return *library;
  }
  detail::HostFile& file = detail::OpenFile(path, detail::DesignFile::Access::ReadOnly);
  State().libraries.push_back(&file);
  return file;
}

void SetActiveModelIsReference(bool on) {
  State().activeIsReference = on;
}

std::size_t MonitorCount() {
  return State().monitors.size();
}

}  // namespace ornhost
