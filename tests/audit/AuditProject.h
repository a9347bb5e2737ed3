// A project folder made for a test: design libraries and drawings whose setups were taken from
// them, tuned here or there, written straight through the host's controls.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "../workbench/WorkbenchProcess.h"
#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "support/Utf.h"

/// Settings from (property, value) pairs in the host's texts; everything else at its default.
inline Teskor::ZelPlatform::OrnSettings Values(
    const std::vector<std::pair<std::string, std::string>>& values) {
  Teskor::ZelPlatform::OrnSettings settings;
  for (const auto& [key, text] : values) {
    EXPECT_TRUE(ornhost::SetSettingFromText(settings, key, text)) << key << "=" << text;
  }
  return settings;
}

/// Where a setup came from: the library file, the library setup's name, the values then.
struct Taken {
  std::filesystem::path library;
  std::u16string setup;
  Teskor::ZelPlatform::OrnSettings base;
};

struct ProjectSetup {
  std::u16string name;
  Teskor::ZelPlatform::OrnSettings values;
  std::optional<Taken> from;
};

class AuditProject {
 public:
  const std::filesystem::path& Root() const { return dir_.Path(); }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }

  /// A design file holding these setups (and the provenance of those taken from a library).
  std::filesystem::path Drawing(const std::string& relative,
                                const std::vector<ProjectSetup>& setups) {
    const auto path = dir_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::vector<ornhost::StoredSetup> stored;
    for (const ProjectSetup& setup : setups) stored.push_back({setup.name, true, setup.values});
    ornhost::WriteSetups(path, stored);
    for (const ProjectSetup& setup : setups) {
      if (!setup.from) continue;
      ornhost::Provenance origin;
      origin.libraryFile = ornr::Utf8ToUtf16(setup.from->library.filename().string());
      origin.libraryPath = std::filesystem::absolute(setup.from->library).string();
      origin.librarySetup = setup.from->setup;
      origin.takenAt = "2026-01-15T09:30:00Z";
      origin.base = setup.from->base;
      ornhost::StoreProvenance(path, setup.name, origin);
    }
    return path;
  }
  std::filesystem::path Library(
      const std::string& relative,
      const std::map<std::u16string, Teskor::ZelPlatform::OrnSettings>& setups) {
    const auto path = dir_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::vector<ornhost::StoredSetup> stored;
    for (const auto& [name, values] : setups) stored.push_back({name, true, values});
    ornhost::WriteSetups(path, stored);
    return path;
  }

  /// rsm-audit run in the project's folder.
  ProcessResult Audit(const std::vector<std::string>& args) const {
    return RunProgram(RSM_AUDIT, args, dir_.Path());
  }
  nlohmann::json Json(const std::string& name) const {
    return nlohmann::json::parse(dir_.Read(name));
  }
  std::string Read(const std::string& name) const { return dir_.Read(name); }
  const ScratchDir& Dir() const { return dir_; }

 private:
  ScratchDir dir_;
};

/// The setups of a file in the JSON report by name.
inline std::map<std::string, nlohmann::json> SetupsOf(const nlohmann::json& report,
                                                      const std::string& path) {
  std::map<std::string, nlohmann::json> setups;
  for (const auto& file : report["files"]) {
    if (file["path"] != path) continue;
    for (const auto& setup : file["setups"]) setups[setup["name"]] = setup;
  }
  return setups;
}

inline const nlohmann::json* FileOf(const nlohmann::json& report, const std::string& path) {
  for (const auto& file : report["files"]) {
    if (file["path"] == path) return &file;
  }
  return nullptr;
}
