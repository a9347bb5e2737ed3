#include "bridge/RuntimeString.h"

#include <sys/mman.h>

#include <cstdint>

#include "support/Utf.h"

namespace ornr::bridge {

String FromWide(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  const std::size_t length = ornr::Length(text);
  std::u16string copy;
  copy.reserve(length);
  // A document of megabytes: its copy is faulted in huge pages where the system has them, a few
  // dozen faults instead of thousands. Only whole huge pages inside the copy's own mapping are
  // given one, so it holds no more memory for it.
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (length * sizeof(char16_t) >= 2 * kHuge) {
    const auto first = (reinterpret_cast<std::uintptr_t>(copy.data()) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(copy.data() + length)) & ~(kHuge - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
  copy.append(text, length);
  return copy;
}

String FromNarrow(const char* text) {
  if (text == nullptr) return std::nullopt;
  return ornr::Utf8ToUtf16(text);
}

}  // namespace ornr::bridge
