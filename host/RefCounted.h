// The host's shared-object counting.
#pragma once

#include <atomic>
#include <cstdint>

namespace Teskor {

class IRefCounted {
 public:
  virtual ~IRefCounted() = default;
  virtual std::uint32_t AddRef() const = 0;
  virtual std::uint32_t Release() const = 0;
};

template <typename Interface>
class RefCounted : public Interface {
 public:
  /// Returns the new count.
  std::uint32_t AddRef() const override { return ++refCount; }
  /// Destroys the object when the count was 0 or 1 before and returns 0; otherwise returns the
  /// count after the decrement.
  std::uint32_t Release() const override {
    const std::uint32_t before = refCount.fetch_sub(1);
    if (before <= 1) {
      delete this;
      return 0;
    }
    return before - 1;
  }

 protected:
  mutable std::atomic<std::uint32_t> refCount{0};
};

class RefCountedBase : public RefCounted<IRefCounted> {};

}  // namespace Teskor
