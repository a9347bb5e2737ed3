#include "workbench/page/PageSaved.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "support/Utf.h"

namespace ornr::workbench {

namespace {

using Teskor::ZelPlatform::OrnSettings;

// What Save would store: the host's working copy, which every edit reaches.
std::optional<OrnSettings> WorkingSettings(const std::u16string& name) {
  auto* master = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  if (master == nullptr) return std::nullopt;
  const auto* setup =
      Teskor::ZelPlatform::OrnSetupManager::GetManagerR().FindOrnSetupByName(name.c_str(), *master);
  if (setup == nullptr || setup->GetSettingsR() == nullptr) return std::nullopt;
  return *setup->GetSettingsR();
}

// The panel shows doubles with six decimals; a value with more digits than that is sent whole,
// so that taking it back or comparing it loses nothing.
bool ReadsBackAs(const std::string& shown, const std::string& exact) {
  if (shown == exact) return true;
  if (shown.find('.') == std::string::npos) return true;
  return std::strtod(shown.c_str(), nullptr) == std::strtod(exact.c_str(), nullptr);
}

}  // namespace

void WriteSavedMembers(JsonWriter& json, const Teskor::RenderSetup::ViewModel::RenderSetup& setup) {
  const std::u16string name(setup.Name().value_or(u""));
  const std::optional<OrnSettings> working = WorkingSettings(name);
  std::optional<OrnSettings> saved;
  try {
    saved = ornhost::SavedSettings(name);
  } catch (const std::exception&) {
    // Shown as never saved.
  }
  const auto now = working ? ornhost::SettingTexts(*working)
                           : std::vector<std::pair<std::string, std::string>>{};
  json.Key("saved");
  if (!saved || !working) {
    json.Null();
  } else {
    const auto stored = ornhost::SettingTexts(*saved);
    json.BeginArray();
    for (std::size_t i = 0; i < stored.size() && i < now.size(); ++i) {
      if (stored[i].second == now[i].second) continue;
      json.BeginArray().String(stored[i].first).String(stored[i].second).EndArray();
    }
    json.EndArray();
  }
  json.Key("exact").BeginArray();
  for (const auto& [key, text] : now) {
    const auto shown = setup.PropertyText(key);
    if (!shown || ReadsBackAs(Utf16ToUtf8(*shown), text)) continue;
    json.BeginArray().String(key).String(text).EndArray();
  }
  json.EndArray();
}

void WriteDefaults(JsonWriter& json) {
  json.Key("defaults").BeginObject();
  for (const auto& [key, text] : ornhost::SettingTexts(OrnSettings())) json.Key(key).String(text);
  json.EndObject();
}

}  // namespace ornr::workbench
