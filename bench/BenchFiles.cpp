#include "bench/BenchFiles.h"

#include <unistd.h>

#include <map>

#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "support/Utf.h"

namespace ornr::bench {

namespace {

struct Folder {
  std::filesystem::path path;
  Folder() {
    path = std::filesystem::temp_directory_path() / ("ornr-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    // Children of a benchmark share the parent's files and must not remove them.
    if (path.filename() == "ornr-bench-" + std::to_string(getpid())) {
      std::filesystem::remove_all(path, ec);
    }
  }
};

std::map<std::string, std::filesystem::path>& Made() {
  static std::map<std::string, std::filesystem::path> made;
  return made;
}

}  // namespace

const std::filesystem::path& BenchFolder() {
  static Folder folder;
  return folder.path;
}

Teskor::ZelPlatform::OrnSettings VariedSettings(int index) {
  Teskor::ZelPlatform::OrnSettings settings;
  settings.SetBlurPasses(static_cast<std::uint32_t>(index));
  settings.SetDoShadows(index % 2 == 0);
  settings.SetInterocularDistance(0.001 * index);
  settings.SetRenderOutputChannels(static_cast<std::uint64_t>(index) & 0x1FFF);
  return settings;
}

std::filesystem::path FileWith(const std::string& tag, const std::vector<std::u16string>& names) {
  auto [slot, inserted] = Made().try_emplace(tag);
  if (!inserted) return slot->second;
  slot->second = BenchFolder() / (tag + ".zel");
  std::vector<ornhost::StoredSetup> setups;
  setups.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    setups.push_back({names[i], true, VariedSettings(static_cast<int>(i))});
  }
  ornhost::WriteSetups(slot->second, setups);
  return slot->second;
}

std::filesystem::path MasterWith(int count) {
  std::vector<std::u16string> names;
  names.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) names.push_back(Utf8ToUtf16("Setup " + std::to_string(i)));
  return FileWith("master-" + std::to_string(count), names);
}

}  // namespace ornr::bench
