#include "host/exchange/JsonEvents.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

namespace ornhost::detail {

namespace {

// The file a chunk at a time, counting the lines read past so that each event knows where it is.
class ChunkedFile {
 public:
  explicit ChunkedFile(const std::filesystem::path& path)
      : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), buffer_(new char[kChunkBytes]) {
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    Fill();
  }
  ~ChunkedFile() {
    if (fd_ >= 0) close(fd_);
  }
  ChunkedFile(const ChunkedFile&) = delete;

  const char& Current() const { return buffer_[at_]; }
  bool AtEnd() const { return at_ == size_; }
  void Advance() {
    if (buffer_[at_] == '\n') ++newlines_;
    if (++at_ == size_) Fill();
  }
  std::size_t Line() const { return newlines_ + 1; }
  /// The errno of a failed open or read, or 0.
  int Error() const { return error_; }

 private:
  static constexpr std::size_t kChunkBytes = std::size_t(1) << 18;

  // Leaves the file at its end (size 0) when nothing more comes or a read fails.
  void Fill() {
    at_ = 0;
    size_ = 0;
    for (;;) {
      const ssize_t n = read(fd_, buffer_.get(), kChunkBytes);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error_ = errno;
        return;
      }
      size_ = static_cast<std::size_t>(n);
      return;
    }
  }

  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t at_ = 0;
  std::size_t size_ = 0;
  std::size_t newlines_ = 0;
  int error_ = 0;
};

// The parser's input: every copy reads the same file, and any is equal to the end once the file
// is read to its end (the parser only ever compares its position with the end).
class FileIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  explicit FileIterator(ChunkedFile* file) : file_(file) {}
  reference operator*() const { return file_->Current(); }
  FileIterator& operator++() {
    file_->Advance();
    return *this;
  }
  FileIterator operator++(int) {
    FileIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const FileIterator& other) const { return AtEnd() == other.AtEnd(); }
  bool operator!=(const FileIterator& other) const { return AtEnd() != other.AtEnd(); }

 private:
  bool AtEnd() const { return file_ == nullptr || file_->AtEnd(); }

  ChunkedFile* file_;
};

class EventForwarder : public nlohmann::json_sax<nlohmann::json> {
 public:
  EventForwarder(const ChunkedFile& file, JsonEvents& events) : file_(file), events_(events) {}

  bool null() override { return Forward(JsonScalar{}); }
  bool boolean(bool value) override {
    JsonScalar scalar;
    scalar.type = JsonScalar::Type::Bool;
    scalar.boolean = value;
    return Forward(scalar);
  }
  bool number_integer(number_integer_t value) override {
    JsonScalar scalar;
    scalar.type = JsonScalar::Type::Signed;
    scalar.signedValue = value;
    return Forward(scalar);
  }
  bool number_unsigned(number_unsigned_t value) override {
    JsonScalar scalar;
    scalar.type = JsonScalar::Type::Unsigned;
    scalar.unsignedValue = value;
    return Forward(scalar);
  }
  bool number_float(number_float_t value, const string_t&) override {
    JsonScalar scalar;
    scalar.type = JsonScalar::Type::Float;
    scalar.floatValue = value;
    return Forward(scalar);
  }
  bool string(string_t& value) override {
    JsonScalar scalar;
    scalar.type = JsonScalar::Type::String;
    scalar.text = value;
    return Forward(scalar);
  }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override { return Open(true); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    keyLine_ = file_.Line();
    events_.Key(name, keyLine_);
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    throw JsonTextError(JsonTextError::Kind::Syntax, file_.Line(), error.what());
  }

 private:
  std::size_t ValueLine() const {
    return depth_ > 0 && inObject_[depth_ - 1] ? keyLine_ : file_.Line();
  }
  bool Forward(const JsonScalar& scalar) {
    events_.Scalar(scalar, ValueLine());
    return true;
  }
  // The parser keeps its own stack of what is open; stopping here bounds it and every reader's.
  bool Open(bool object) {
    if (depth_ == kMaxJsonDepth) {
      throw JsonTextError(JsonTextError::Kind::TooDeep, file_.Line(),
                          "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    }
    events_.Open(object, ValueLine());
    inObject_[depth_++] = object;
    return true;
  }
  bool Close() {
    --depth_;
    events_.Close();
    return true;
  }

  const ChunkedFile& file_;
  JsonEvents& events_;
  std::array<bool, kMaxJsonDepth> inObject_{};
  std::size_t depth_ = 0;
  std::size_t keyLine_ = 0;
};

}  // namespace

std::string JsonScalar::TypeName() const {
  switch (type) {
    case Type::Null:
      return "null";
    case Type::Bool:
      return "a boolean";
    case Type::Signed:
    case Type::Unsigned:
      return "an integer";
    case Type::Float:
      return "a number";
    case Type::String:
      return "a string";
  }
  return "a value";
}

void ReadJsonFile(const std::filesystem::path& path, JsonEvents& events) {
  ChunkedFile file(path);
  const auto unreadable = [&] {
    return JsonFileError(path.string() + ": " + std::strerror(file.Error()));
  };
  if (file.Error() != 0) throw unreadable();
  EventForwarder forwarder(file, events);
  try {
    nlohmann::json::sax_parse(FileIterator(&file), FileIterator(nullptr), &forwarder,
                              nlohmann::json::input_format_t::json, true, false);
  } catch (const JsonTextError&) {
    // A read that failed midway looks like a text cut short.
    if (file.Error() != 0) throw unreadable();
    throw;
  }
  if (file.Error() != 0) throw unreadable();
}

}  // namespace ornhost::detail
