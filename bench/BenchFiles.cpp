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

constexpr int kSetupsPerFile = 20;
constexpr int kTakenPerFile = 15;
constexpr int kTemplates = 4;

std::u16string SetupName(int i) {
  const std::string name = "Setup " + std::to_string(i);
  return std::u16string(name.begin(), name.end());
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

// The office's library: what drawings took, since then changed in every fifth setup.
std::filesystem::path AuditLibrary() {
  static const auto path = [] {
    const auto file = BenchFolder() / "audit-office.zellib";
    std::vector<ornhost::StoredSetup> setups;
    for (int i = 0; i < kSetupsPerFile; ++i) {
      Teskor::ZelPlatform::OrnSettings values = VariedSettings(i);
      if (i % 5 == 0) values.SetMaxSamplesPerPixel(values.GetMaxSamplesPerPixel() + 64);
      setups.push_back({SetupName(i), true, values});
    }
    ornhost::WriteSetups(file, setups);
    return file;
  }();
  return path;
}

std::filesystem::path AuditProject(int count) {
  const auto folder = BenchFolder() / ("audit-project-" + std::to_string(count));
  if (std::filesystem::exists(folder)) return folder;
  std::vector<std::filesystem::path> templates;
  for (int t = 0; t < kTemplates; ++t) {
    const auto file = BenchFolder() / ("audit-template-" + std::to_string(t) + ".zel");
    if (!std::filesystem::exists(file)) {
      std::vector<ornhost::StoredSetup> setups;
      for (int i = 0; i < kSetupsPerFile; ++i) {
        Teskor::ZelPlatform::OrnSettings values = VariedSettings(i);
        if ((i + t) % 7 == 0) values.SetQualityThreshold(0.25);
        setups.push_back({i < kTakenPerFile ? SetupName(i) : SetupName(100 + i), true, values});
      }
      ornhost::WriteSetups(file, setups);
      for (int i = 0; i < kTakenPerFile; ++i) {
        ornhost::Provenance origin;
        origin.libraryFile = u"audit-office.zellib";
        origin.libraryPath = AuditLibrary().string();
        origin.librarySetup = SetupName(i);
        origin.takenAt = "2026-01-15T09:30:00Z";
        origin.base = VariedSettings(i);
        ornhost::StoreProvenance(file, SetupName(i), origin);
      }
    }
    templates.push_back(file);
  }
  // Forty drawings a folder, as a project keeps its buildings apart.
  for (int i = 0; i < count; ++i) {
    const auto sub = folder / ("building-" + std::to_string(i / 40));
    std::filesystem::create_directories(sub);
    std::filesystem::copy_file(templates[i % kTemplates],
                               sub / ("drawing-" + std::to_string(i) + ".zel"));
  }
  return folder;
}

}  // namespace ornr::bench
