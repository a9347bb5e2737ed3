// The workbench's line reader: any line splits or is refused, and every word survives quoting.
#include <cstddef>
#include <cstdint>
#include <string>

#include "workbench/commands/CommandLexer.h"

using namespace ornr::workbench;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words;
  try {
    words = SplitCommand(line);
  } catch (const CommandSyntaxError&) {
    return 0;
  }
  std::string rebuilt;
  for (const auto& word : words) {
    if (word.find('\0') != std::string::npos) __builtin_trap();
    const auto quoted = SplitCommand(QuoteWord(word));
    if (quoted.size() != 1 || quoted[0] != word) __builtin_trap();
    rebuilt += AlwaysQuoted(word) + " ";
  }
  if (SplitCommand(rebuilt) != words) __builtin_trap();
  return 0;
}
