// The host's reading of a stored setup: the settings record text and the name rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SettingsText.h"
#include "platform/SetupNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto settings = ornhost::detail::ParseSettingsRecord(text)) {
    // What the host read, it writes so that it reads back the same.
    const std::string again = ornhost::detail::FormatSettingsRecord(*settings);
    const auto reread = ornhost::detail::ParseSettingsRecord(again);
    if (!reread || !reread->Equals(*settings)) __builtin_trap();
  }
  // The same bytes as a stored name: UTF-16 code units, little-endian.
  std::u16string name;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    name.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const auto refusal = ornhost::RefusalOfSetupName(name);
  if (refusal && refusal->find('\n') != std::string::npos) __builtin_trap();
  return 0;
}
