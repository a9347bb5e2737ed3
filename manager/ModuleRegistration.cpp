// What happens when the host loads and unloads the module: the session monitor is registered
// for the module's whole life, nothing else.
#include <cstdio>

#include "host/SessionMgr.h"
#include "manager/EnvSessionMonitor.h"

namespace ornr {
namespace {

using Teskor::KreelPlatform::ISessionMgr;

EnvSessionMonitor s_sessionMonitor;

struct MonitorRegistration {
  MonitorRegistration() noexcept {
    // Loading always succeeds; a host that refuses the monitor only costs the notifications.
    try {
      ISessionMgr::GetManager().AddSessionMonitor(s_sessionMonitor);
    } catch (...) {
      std::fprintf(stderr, "ornrender: the session monitor could not be registered\n");
    }
  }
  ~MonitorRegistration() {
    try {
      ISessionMgr::GetManager().DropSessionMonitor(s_sessionMonitor);
    } catch (...) {
      std::fprintf(stderr, "ornrender: the session monitor could not be dropped\n");
    }
  }
} s_registration;

}  // namespace
}  // namespace ornr
