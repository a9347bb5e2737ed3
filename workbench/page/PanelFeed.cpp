#include "workbench/page/PanelFeed.h"

namespace ornr::workbench {

void PanelFeed::Publish(std::string picture) {
  {
    const std::lock_guard lock(mutex_);
    if (picture == picture_) return;
    picture_ = std::move(picture);
    ++version_;
  }
  changed_.notify_all();
}

bool PanelFeed::WaitNewer(std::uint64_t& seen, std::string& picture,
                          std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return closed_ || version_ > seen; });
  if (closed_ || version_ <= seen) return false;
  seen = version_;
  picture = picture_;
  return true;
}

void PanelFeed::Close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool PanelFeed::Closed() const {
  const std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace ornr::workbench
