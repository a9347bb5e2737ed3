#include "bridge/ResourceManager.h"

#include <dlfcn.h>

#include <cstdio>
#include <system_error>

#include "bridge/Localizable.h"
#include "support/TextTable.h"

namespace ornr::bridge {

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
  ornr::TextTableError error;
  std::optional<ornr::TextTable> read = ornr::ReadTextTable(path, &error);
  if (!read) {
    if (!error.reason.empty()) {
      std::fprintf(stderr, "ornrender bridge: ignored the resource table %s (%s)\n", path.c_str(),
                   ornr::Describe(error).c_str());
    }
    return kept;
  }
  kept = std::move(*read);
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
