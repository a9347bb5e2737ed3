// The host's session as the module sees it (the master file, the monitors that follow it) and the
// design libraries it offers.
#include "host/SessionMgr.h"

#include <algorithm>
#include <iostream>

#include "host/session/HostState.h"
#include "host/store/FileCheck.h"

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

}  // namespace

// A monitor that fails must not break the host or keep the others from hearing the news.
void Notify(const char* notification, const std::function<void(SessionMonitor&)>& call) {
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

}  // namespace ornhost::detail

namespace Teskor::KreelPlatform {

ISessionMgr& ISessionMgr::GetManager() {
  static auto* session = new ornhost::detail::Session;
  return *session;
}

}  // namespace Teskor::KreelPlatform

namespace ornhost {

using detail::State;

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

void HoldMasterFileChecks(bool held) {
  detail::FileCheck::Hold(held);
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
