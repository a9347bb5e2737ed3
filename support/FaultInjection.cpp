#include "support/FaultInjection.h"

namespace ornr::fault {

namespace {

struct Armed {
  Point point = Point::DocumentAllocation;
  std::uint64_t failAt = 0;  // 0: off
  std::uint64_t passes = 0;
  bool fired = false;
};

Armed& State() noexcept {
  static Armed armed;
  return armed;
}

}  // namespace

void FailAt(Point point, std::uint64_t k) noexcept {
  State() = Armed{point, k, 0, false};
}

bool Fires(Point point) noexcept {
  Armed& armed = State();
  if (armed.failAt == 0 || armed.point != point || armed.fired) return false;
  if (++armed.passes != armed.failAt) return false;
  armed.fired = true;
  return true;
}

bool Fired() noexcept {
  return State().fired;
}

}  // namespace ornr::fault
