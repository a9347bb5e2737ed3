// A JSON file read as a stream of events, each with the line it is on, in memory that does not
// grow with the file: what a document holds is for the reader of the events to keep or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ornhost::detail {

/// A value that is no container.
struct JsonScalar {
  enum class Type { Null, Bool, Signed, Unsigned, Float, String };
  Type type = Type::Null;
  bool boolean = false;
  std::int64_t signedValue = 0;
  std::uint64_t unsignedValue = 0;
  double floatValue = 0;
  /// Valid during the event only.
  std::string_view text;

  bool IsNumber() const {
    return type == Type::Signed || type == Type::Unsigned || type == Type::Float;
  }
  /// "a string", "an integer", ...
  std::string TypeName() const;
};

/// "an object" or "an array".
inline const char* ContainerName(bool object) {
  return object ? "an object" : "an array";
}

/// What a JSON text holds, in file order. A value's line is its key's for an object's member, else
/// where the value is; lines are 1-based.
class JsonEvents {
 public:
  virtual ~JsonEvents() = default;
  /// The key of the member whose value comes next.
  virtual void Key(std::string_view key, std::size_t line) = 0;
  virtual void Scalar(const JsonScalar& value, std::size_t line) = 0;
  /// An object or array begins; its members or items follow, then Close.
  virtual void Open(bool object, std::size_t line) = 0;
  virtual void Close() = 0;
};

/// Where a text stops being JSON, or nests deeper than kMaxJsonDepth.
class JsonTextError : public std::runtime_error {
 public:
  enum class Kind { Syntax, TooDeep };
  JsonTextError(Kind kind, std::size_t line, const std::string& what)
      : std::runtime_error(what), kind_(kind), line_(line) {}
  Kind GetKind() const { return kind_; }
  std::size_t Line() const { return line_; }

 private:
  Kind kind_;
  std::size_t line_;
};

/// A file that could not be read to its end.
class JsonFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Containers inside containers up to this many levels, the outermost counted.
inline constexpr std::size_t kMaxJsonDepth = 16;

/// Reads the UTF-8 JSON (RFC 8259, no comments) of the file at path into events. Throws
/// JsonTextError, JsonFileError, and whatever events throws; events may have seen part of the text.
void ReadJsonFile(const std::filesystem::path& path, JsonEvents& events);

}  // namespace ornhost::detail
