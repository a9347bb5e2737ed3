// The host's renderer manager: the stand-in has no renderer, so it only records the calls.
#include "host/OrnManager.h"

#include "host/session/HostState.h"

namespace ornhost::detail {

namespace {

class RendererManager final : public Teskor::Orn::OrnManager {
 public:
  void RegisterManager() override { LogCall("OrnManager::RegisterManager"); }
  void UnRegisterManager() override { LogCall("OrnManager::UnRegisterManager"); }
};

}  // namespace

}  // namespace ornhost::detail

namespace Teskor::Orn {

OrnManager& OrnManager::GetManagerR() {
  static auto* manager = new ornhost::detail::RendererManager;
  return *manager;
}

void OrnManager::InitializeOrn(bool /*initialize*/) {
  ornhost::detail::LogCall("OrnManager::InitializeOrn");
}

}  // namespace Teskor::Orn
