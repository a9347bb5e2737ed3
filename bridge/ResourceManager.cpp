#include "bridge/ResourceManager.h"

#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "bridge/Localizable.h"
#include "support/Utf.h"

namespace ornr::bridge {

namespace {

struct TableError {
  std::size_t line = 0;
  const char* reason = "";
};

// Utf8ToUtf16 replaces what is not UTF-8, so a text that does not come back unchanged was not.
bool IsUtf8(std::string_view text) {
  return ornr::Utf16ToUtf8(ornr::Utf8ToUtf16(text)) == text;
}

std::optional<TableError> Parse(std::string_view content,
                                std::unordered_map<std::u16string, std::u16string>& table) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  if (!IsUtf8(content)) return TableError{0, "not UTF-8 text"};
  std::size_t number = 0;
  while (!content.empty()) {
    ++number;
    const std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return TableError{number, "no '='"};
    if (equals == 0) return TableError{number, "empty key"};
    table.insert_or_assign(ornr::Utf8ToUtf16(line.substr(0, equals)),
                           ornr::Utf8ToUtf16(line.substr(equals + 1)));
  }
  return std::nullopt;
}

}  // namespace

ResourceManager::ResourceManager(std::string baseName, std::filesystem::path directory)
    : baseName_(std::move(baseName)), directory_(std::move(directory)) {}

String ResourceManager::GetString(std::u16string_view key,
                                  const std::vector<std::string>& cultures) {
  for (const std::string& culture : cultures) {
    const Table& table = TableOf(culture);
    const auto found = table.find(std::u16string(key));
    if (found != table.end()) return found->second;
  }
  if (const char16_t* text = NeutralText(key)) return std::u16string(text);
  return std::nullopt;
}

const ResourceManager::Table& ResourceManager::TableOf(const std::string& culture) {
  const auto emplaced = tables_.try_emplace(culture);
  Table& kept = emplaced.first->second;
  if (!emplaced.second || directory_.empty()) return kept;

  const std::filesystem::path path = directory_ / (baseName_ + "." + culture + ".txt");
  std::ifstream file(path, std::ios::binary);
  if (!file) return kept;
  const std::string content{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  Table parsed;
  if (const std::optional<TableError> error = Parse(content, parsed)) {
    std::fprintf(stderr, "ornrender bridge: ignored the resource table %s (line %zu: %s)\n",
                 path.c_str(), error->line, error->reason);
    return kept;
  }
  kept = std::move(parsed);
  return kept;
}

std::filesystem::path ModuleDirectory() {
  Dl_info info{};
  std::error_code error;
  // The main program may be named without a folder; then its own link gives the folder.
  if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) != 0 && info.dli_fname != nullptr &&
      std::string_view(info.dli_fname).find('/') != std::string_view::npos) {
    return std::filesystem::absolute(info.dli_fname, error).parent_path();
  }
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path{} : self.parent_path();
}

std::filesystem::path TablesDirectory() {
  const std::filesystem::path module = ModuleDirectory();
  return module.empty() ? module : module / kLocalizableFolder;
}

}  // namespace ornr::bridge
