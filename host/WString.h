// The host's wide string: UTF-16 code units, compared unit by unit as unsigned values.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

namespace Teskor {

class WString {
 public:
  WString() = default;
  /// A null text gives the empty string.
  WString(const char16_t* text);  // NOLINT(google-explicit-constructor): host strings convert
  WString(std::u16string text) noexcept : text_(std::move(text)) {}
  WString(std::u16string_view text) : text_(text) {}

  /// Zero-terminated; valid until the string changes.
  const char16_t* c_str() const noexcept { return text_.c_str(); }
  const char16_t* GetWCharCP() const noexcept { return text_.c_str(); }
  std::size_t size() const noexcept { return text_.size(); }
  bool empty() const noexcept { return text_.empty(); }
  const std::u16string& str() const noexcept { return text_; }

  /// Replaces the content with format expanded as swprintf would: "%ls" takes a
  /// const char16_t* (null prints "(null)"), "%d" an int, "%%" a percent sign.
  /// Any other conversion is copied literally. Returns *this.
  WString& Sprintf(const char16_t* format, ...);

  friend bool operator==(const WString&, const WString&) = default;
  friend std::strong_ordering operator<=>(const WString& a, const WString& b) noexcept {
    return a.text_.compare(b.text_) <=> 0;
  }

 private:
  std::u16string text_;
};

}  // namespace Teskor
