// Any bytes as a setups document: the reader never crashes, refuses every text the JSON library's
// own parser refuses, and what it takes, export's writer writes back and it reads again the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/exchange/SetupsDocument.h"
#include "host/exchange/SetupsDocumentReader.h"

namespace {

std::string FilePath(const char* role) {
  return "/tmp/fuzz-setups-" + std::to_string(getpid()) + "-" + role + ".json";
}

ornhost::detail::SetupsRead ReadText(const std::string& path, const char* data, std::size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data, std::streamsize(size));
  return ornhost::detail::ReadSetupsDocument(path, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string in = FilePath("in"), again = FilePath("again");
  const auto* text = reinterpret_cast<const char*>(data);
  const ornhost::detail::SetupsRead read = ReadText(in, text, size);
  if (!nlohmann::json::accept(text, text + size) && read.problems.empty()) __builtin_trap();
  if (read.problems.size() > ornhost::detail::kMaxListedProblems) __builtin_trap();
  if (!read.problems.empty()) {
    if (!read.records.empty()) __builtin_trap();
    return 0;
  }
  if (read.sources.size() != read.records.size()) __builtin_trap();
  std::vector<ornhost::StoredSetup> setups;
  for (const auto& [name, settings] : read.records) setups.push_back({name, true, settings});
  const std::string written = ornhost::detail::SetupsDocument(setups);
  const auto reread = ReadText(again, written.data(), written.size());
  if (!reread.problems.empty() || reread.records.size() != read.records.size()) __builtin_trap();
  for (std::size_t i = 0; i < read.records.size(); ++i) {
    if (reread.records[i].first != read.records[i].first ||
        !reread.records[i].second.Equals(read.records[i].second)) {
      __builtin_trap();
    }
  }
  return 0;
}
