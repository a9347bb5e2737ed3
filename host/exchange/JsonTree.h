// A JSON text read into a tree that remembers the line of every value and keeps an object's
// members in file order, repeats included, so that checks can say where a problem is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ornhost::detail {

struct JsonMember;

struct JsonNode {
  enum class Type { Null, Bool, Signed, Unsigned, Float, String, Array, Object };
  Type type = Type::Null;
  /// 1-based line where the value (for a member: its key) is.
  std::size_t line = 0;
  bool boolean = false;
  std::int64_t signedValue = 0;
  std::uint64_t unsignedValue = 0;
  double floatValue = 0;
  std::string text;
  std::vector<JsonNode> items;
  // Not std::pair: a pair may not be instantiated with JsonNode still incomplete.
  std::vector<JsonMember> members;

  bool IsNumber() const {
    return type == Type::Signed || type == Type::Unsigned || type == Type::Float;
  }
  /// "an object", "a number", ...
  std::string TypeName() const;
};

struct JsonMember {
  std::string key;
  JsonNode value;
};

/// A text that is not JSON: line and what is wrong.
class JsonSyntaxError : public std::runtime_error {
 public:
  JsonSyntaxError(std::size_t line, const std::string& what)
      : std::runtime_error(what), line_(line) {}
  std::size_t Line() const { return line_; }

 private:
  std::size_t line_;
};

/// Reads UTF-8 JSON (RFC 8259, no comments). Throws JsonSyntaxError.
JsonNode ReadJson(std::string_view text);

}  // namespace ornhost::detail
