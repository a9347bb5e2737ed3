#include "viewmodel/ComError.h"

#include <cstdio>

namespace ornr {

namespace {

std::string Describe(std::uint32_t status, const std::string& context) {
  char code[16] = {};
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
  return context + " (" + code + ")";
}

}  // namespace

ComError::ComError(std::uint32_t status, const std::string& context)
    : StatusError(status, Describe(status, context)) {}

}  // namespace ornr
