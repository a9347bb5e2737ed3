// Opening and closing the master file, as a person at the host does: the session's monitors hear
// of it, and what closing could not store is kept in a recovery file.
#include "host/controls/HostControls.h"

#include "host/exchange/RecoveryFile.h"
#include "host/session/HostState.h"

using Teskor::KreelPlatform::SessionMonitor;
using Teskor::ZelPlatform::ZelFile;

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

}  // namespace ornhost
