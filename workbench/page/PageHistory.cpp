#include "workbench/page/PageHistory.h"

#include <set>
#include <stdexcept>

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "host/xrt.h"
#include "support/Utf.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

namespace {

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetupManager;

std::string ErrorJson(const std::string& why) {
  JsonWriter json;
  json.BeginObject().Key("error").String(why).EndObject();
  return json.Take();
}

// The open library listed under that file name.
Teskor::ZelPlatform::ZelFile* OpenLibrary(const std::u16string& fileName) {
  Teskor::ZelPlatform::ZelFile* found = nullptr;
  xrtZelLibIterator* libraries = xrtZelLibIterator_create(0);
  while (auto* model = xrtZelLibIterator_getNext(libraries)) {
    Teskor::ZelPlatform::ZelFile* file = model->GetZelFileP();
    if (found == nullptr && file != nullptr && file->GetFileName().str() == fileName) found = file;
  }
  xrtZelLibIterator_free(&libraries);
  return found;
}

OrnSettings ValuesOf(const DiffSide& side) {
  const std::u16string name = Utf8ToUtf16(side.name);
  if (side.group == "master" && side.version > 0) {
    return ornhost::SetupVersionValues(name, side.version);
  }
  Teskor::ZelPlatform::ZelFile* file =
      side.group == "master" ? Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile()
                             : OpenLibrary(Utf8ToUtf16(side.library));
  if (file == nullptr) throw std::runtime_error("the file of \"" + side.name + "\" is not open");
  const auto* setup = OrnSetupManager::GetManagerR().FindOrnSetupByName(name.c_str(), *file);
  if (setup == nullptr) throw std::runtime_error("no setup named \"" + side.name + "\"");
  if (setup->GetSettingsR() == nullptr) {
    throw std::runtime_error("the stored record of \"" + side.name + "\" cannot be read");
  }
  return *setup->GetSettingsR();
}

}  // namespace

std::string HistoryJson(const std::string& name) {
  std::vector<ornhost::SetupVersion> versions;
  try {
    versions = ornhost::SetupHistory(Utf8ToUtf16(name));
  } catch (const std::exception& error) {
    return ErrorJson(error.what());
  }
  auto* master = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  const std::u16string wide = Utf8ToUtf16(name);
  const bool stored = master != nullptr && OrnSetupManager::GetManagerR().FindOrnSetupByName(
                                               wide.c_str(), *master) != nullptr;
  JsonWriter json;
  json.BeginObject().Key("name").String(name).Key("deleted").Bool(!stored);
  json.Key("versions").BeginArray();
  for (const ornhost::SetupVersion& version : versions) {
    json.BeginObject().Key("number").Number(version.number);
    json.Key("madeAt").String(version.madeAt).Key("action").String(version.action);
    json.Key("madeBy").String(version.madeBy).Key("name").String(version.name);
    if (!version.changeSet.empty()) {
      json.Key("changeSet").String(version.changeSet);
      json.Key("changeSetCommand").String(version.changeSetCommand);
    }
    json.Key("nameAfter").String(version.nameAfter).Key("changes").BeginArray();
    for (const ornhost::VersionChange& change : version.changes) {
      json.BeginArray().String(change.property).String(change.before).String(change.after);
      json.EndArray();
    }
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
  return json.Take();
}

std::string DeletedJson() {
  if (Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile() == nullptr) return "[]";
  std::vector<ornhost::DeletedSetup> deleted;
  try {
    deleted = ornhost::DeletedSetups();
  } catch (const std::exception&) {
    // A file that keeps no history, or cannot be read now, has none to show.
    return "[]";
  }
  JsonWriter json;
  json.BeginArray();
  // An undelete brings back the most recent of a name: the older ones are in the command's list.
  std::set<std::u16string> seen;
  for (const ornhost::DeletedSetup& setup : deleted) {
    if (!seen.insert(setup.name).second) continue;
    json.BeginObject().Key("name").String(setup.name).Key("deletedAt").String(setup.deletedAt);
    json.Key("deletedBy").String(setup.deletedBy).Key("versions").Number(setup.versions);
    json.EndObject();
  }
  json.EndArray();
  return json.Take();
}

std::string DiffJson(const DiffSide& a, const DiffSide& b) {
  std::vector<std::pair<std::string, std::string>> aTexts;
  std::vector<std::pair<std::string, std::string>> bTexts;
  try {
    aTexts = ornhost::SettingTexts(ValuesOf(a));
    bTexts = ornhost::SettingTexts(ValuesOf(b));
  } catch (const std::exception& error) {
    return ErrorJson(error.what());
  }
  JsonWriter json;
  json.BeginObject().Key("rows").BeginArray();
  for (std::size_t i = 0; i < aTexts.size(); ++i) {
    json.BeginArray().String(aTexts[i].first).String(aTexts[i].second).String(bTexts[i].second);
    json.EndArray();
  }
  json.EndArray().EndObject();
  return json.Take();
}

}  // namespace ornr::workbench
