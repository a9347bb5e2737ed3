#include "host/exchange/JsonTree.h"

#include <iterator>
#include <nlohmann/json.hpp>

namespace ornhost::detail {

namespace {

// Counts the lines the parser has read past, so that each event knows where it is.
class LineCountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  LineCountingIterator(const char* at, std::size_t* newlines) : at_(at), newlines_(newlines) {}
  reference operator*() const { return *at_; }
  LineCountingIterator& operator++() {
    if (*at_ == '\n') ++*newlines_;
    ++at_;
    return *this;
  }
  LineCountingIterator operator++(int) {
    LineCountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const LineCountingIterator& other) const { return at_ == other.at_; }
  bool operator!=(const LineCountingIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  std::size_t* newlines_;
};

class TreeBuilder : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit TreeBuilder(const std::size_t* newlines) : newlines_(newlines) {}

  JsonNode TakeRoot() { return std::move(root_); }

  bool null() override { return Add(JsonNode{}); }
  bool boolean(bool value) override {
    JsonNode node;
    node.type = JsonNode::Type::Bool;
    node.boolean = value;
    return Add(std::move(node));
  }
  bool number_integer(number_integer_t value) override {
    JsonNode node;
    node.type = JsonNode::Type::Signed;
    node.signedValue = value;
    return Add(std::move(node));
  }
  bool number_unsigned(number_unsigned_t value) override {
    JsonNode node;
    node.type = JsonNode::Type::Unsigned;
    node.unsignedValue = value;
    return Add(std::move(node));
  }
  bool number_float(number_float_t value, const string_t&) override {
    JsonNode node;
    node.type = JsonNode::Type::Float;
    node.floatValue = value;
    return Add(std::move(node));
  }
  bool string(string_t& value) override {
    JsonNode node;
    node.type = JsonNode::Type::String;
    node.text = std::move(value);
    return Add(std::move(node));
  }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override { return Open(JsonNode::Type::Object); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(JsonNode::Type::Array); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    keyLine_ = Line();
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    throw JsonSyntaxError(Line(), error.what());
  }

 private:
  std::size_t Line() const { return *newlines_ + 1; }

  // Places node in its parent (or as the root) and returns where it now lives.
  JsonNode* Place(JsonNode node) {
    if (open_.empty()) {
      node.line = Line();
      root_ = std::move(node);
      return &root_;
    }
    JsonNode& parent = *open_.back();
    if (parent.type == JsonNode::Type::Object) {
      node.line = keyLine_;
      parent.members.push_back({std::move(key_), std::move(node)});
      return &parent.members.back().value;
    }
    node.line = Line();
    parent.items.push_back(std::move(node));
    return &parent.items.back();
  }
  bool Add(JsonNode node) {
    Place(std::move(node));
    return true;
  }
  // Containers are filled only while open, so the pointers kept here stay valid: a vector
  // that holds an open container never grows until that container is closed.
  bool Open(JsonNode::Type type) {
    JsonNode node;
    node.type = type;
    open_.push_back(Place(std::move(node)));
    return true;
  }
  bool Close() {
    open_.pop_back();
    return true;
  }

  const std::size_t* newlines_;
  JsonNode root_;
  std::vector<JsonNode*> open_;
  std::string key_;
  std::size_t keyLine_ = 0;
};

}  // namespace

std::string JsonNode::TypeName() const {
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
    case Type::Array:
      return "an array";
    case Type::Object:
      return "an object";
  }
  return "a value";
}

JsonNode ReadJson(std::string_view text) {
  std::size_t newlines = 0;
  TreeBuilder builder(&newlines);
  const LineCountingIterator first(text.data(), &newlines);
  const LineCountingIterator last(text.data() + text.size(), &newlines);
  nlohmann::json::sax_parse(first, last, &builder, nlohmann::json::input_format_t::json, true,
                            false);
  return builder.TakeRoot();
}

}  // namespace ornhost::detail
