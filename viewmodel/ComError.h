// The document service's one error: a status code and a message with context.
#pragma once

#include <cstdint>
#include <string>

#include "support/Boundary.h"

namespace ornr {

inline constexpr std::uint32_t kE_POINTER = 0x80004003;
inline constexpr std::uint32_t kE_OUTOFMEMORY = 0x8007000E;
/// A DOM call that cannot be carried out, e.g. an element name that is not an XML name.
inline constexpr std::uint32_t kE_FAIL = 0x80004005;
/// An XPath expression that does not parse (E_INVALIDARG).
inline constexpr std::uint32_t kE_XPATH_SYNTAX = 0x80070057;

class ComError : public StatusError {
 public:
  ComError(std::uint32_t status, const std::string& context);
};

}  // namespace ornr
