// The fields of a settings record with their lossless texts, as provenance records, versions and
// setups documents write them, and as documents name and check them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/OrnSettings.h"
#include "host/store/SettingKinds.h"

namespace ornhost::detail {

/// A checked value of its field's kind; only ever read as that kind.
struct FieldValue {
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double real = 0;
};

struct Field {
  const char* key;
  SettingKind kind;
  /// The value as a document holds it: lossless, doubles in their shortest exact form.
  std::string (*text)(const Teskor::ZelPlatform::OrnSettings&);
  void (*set)(Teskor::ZelPlatform::OrnSettings&, const FieldValue&);
};

/// Every field, in the record's order.
const std::vector<Field>& Fields();
/// "Bool", "UInt32", ...: the kind's name in messages.
const char* KindName(SettingKind kind);

}  // namespace ornhost::detail
