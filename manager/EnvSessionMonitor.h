// The module's session monitor: follows the host's master file.
#pragma once

#include "host/SessionMgr.h"

namespace ornr {

/// Points the store at a newly opened master file and reloads the panel; when the master file
/// closes, empties the panel and offers to save modified setups. No notification throws.
class EnvSessionMonitor : public Teskor::KreelPlatform::SessionMonitor {
 public:
  void OnMasterFileOpened(Teskor::ZelPlatform::ZelFile& file) override;
  void OnMasterFileClosing(Teskor::ZelPlatform::ZelFile& file) override;
  void OnSessionRefresh() override;
};

}  // namespace ornr
