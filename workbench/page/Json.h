// A small JSON writer for what the page is told: objects, arrays, texts, numbers and flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ornr::workbench {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  /// The key of the next member of an object.
  JsonWriter& Key(std::string_view key);
  /// UTF-8 text; bytes that are not UTF-8 become U+FFFD.
  JsonWriter& String(std::string_view text);
  /// UTF-16 text; an unpaired surrogate is written as its \u escape, so nothing is lost.
  JsonWriter& String(std::u16string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  /// A value written elsewhere, taken as it is.
  JsonWriter& Raw(std::string_view json);

  const std::string& Text() const noexcept { return out_; }
  std::string Take() noexcept { return std::move(out_); }

 private:
  void Separate();

  std::string out_;
  bool needComma_ = false;
};

}  // namespace ornr::workbench
