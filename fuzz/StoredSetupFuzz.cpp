// The host's reading of a stored setup: the settings of a setup's row, the settings record text
// of earlier formats, and the name rules.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/store/SettingsColumns.h"
#include "host/store/SettingsText.h"
#include "host/store/SetupNames.h"

namespace {

// The bytes as a row's values: a type byte and eight value bytes each.
void ReadAsColumns(const std::uint8_t* data, std::size_t size) {
  using ornhost::detail::StoredValue;
  ornhost::detail::StoredValues values;
  if (size < values.size() * 9) return;
  for (std::size_t i = 0; i < values.size(); ++i, data += 9) {
    StoredValue& value = values[i];
    value.type = static_cast<StoredValue::Type>(data[0] % 3);
    value.other = "text";
    std::memcpy(&value.integer, data + 1, 8);
    std::memcpy(&value.real, data + 1, 8);
  }
  std::string problem;
  const auto settings = ornhost::detail::ReadSettingValues(values, problem);
  if (settings.has_value() == !problem.empty()) __builtin_trap();
  if (!settings) return;
  // What the host read, it writes so that it reads back the same.
  const auto reread =
      ornhost::detail::ReadSettingValues(ornhost::detail::SettingValues(*settings), problem);
  if (!reread || !reread->Equals(*settings)) __builtin_trap();
  if (ornhost::detail::RecordDigest(u"x", *reread) !=
      ornhost::detail::RecordDigest(u"x", *settings))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadAsColumns(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto settings = ornhost::detail::ParseSettingsRecord(text)) {
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
