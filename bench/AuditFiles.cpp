#include "bench/AuditFiles.h"

#include <map>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"

namespace ornr::bench {

namespace {

using Teskor::ZelPlatform::OrnSettings;

constexpr int kSetupsPerFile = 20;
constexpr int kTakenPerFile = 15;
constexpr int kTemplates = 4;

std::u16string SetupName(int i) {
  const std::string name = "Setup " + std::to_string(i);
  return std::u16string(name.begin(), name.end());
}

}  // namespace

// What drawings took, since then changed in every fifth setup.
std::filesystem::path AuditLibrary(const std::filesystem::path& folder) {
  static std::map<std::filesystem::path, std::filesystem::path> made;
  auto& path = made[folder];
  if (path.empty()) {
    const auto file = folder / "audit-office.zellib";
    std::vector<ornhost::StoredSetup> setups;
    for (int i = 0; i < kSetupsPerFile; ++i) {
      OrnSettings values = VariedSettings(i);
      if (i % 5 == 0) values.SetMaxSamplesPerPixel(values.GetMaxSamplesPerPixel() + 64);
      setups.push_back({SetupName(i), true, values});
    }
    ornhost::WriteSetups(file, setups);
    path = file;
  }
  return path;
}

std::filesystem::path AuditProject(const std::filesystem::path& root, int count) {
  const auto folder = root / ("audit-project-" + std::to_string(count));
  if (std::filesystem::exists(folder)) return folder;
  std::vector<std::filesystem::path> templates;
  for (int t = 0; t < kTemplates; ++t) {
    const auto file = root / ("audit-template-" + std::to_string(t) + ".zel");
    if (!std::filesystem::exists(file)) {
      std::vector<ornhost::StoredSetup> setups;
      for (int i = 0; i < kSetupsPerFile; ++i) {
        OrnSettings values = VariedSettings(i);
        if ((i + t) % 7 == 0) values.SetQualityThreshold(0.25);
        setups.push_back({i < kTakenPerFile ? SetupName(i) : SetupName(100 + i), true, values});
      }
      ornhost::WriteSetups(file, setups);
      for (int i = 0; i < kTakenPerFile; ++i) {
        ornhost::Provenance origin;
        origin.libraryFile = u"audit-office.zellib";
        origin.libraryPath = AuditLibrary(root).string();
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
