#include "workbench/page/PanelPicture.h"

#include <map>

#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "panel/Panel.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetup;

void WriteValues(JsonWriter& json, const RenderSetup& setup) {
  json.Key("values").BeginArray();
  for (const auto& [property, text] : setup.Properties()) {
    json.BeginArray().String(property).String(text).EndArray();
  }
  json.EndArray();
}

// Where the setup came from and how far it has moved; every value only for the one shown.
void WriteOrigin(JsonWriter& json, const ornhost::Drift* drift) {
  json.Key("origin");
  if (drift == nullptr) {
    json.Null();
    return;
  }
  json.BeginObject()
      .Key("libraryFile")
      .String(std::u16string_view(drift->origin.libraryFile))
      .Key("librarySetup")
      .String(std::u16string_view(drift->origin.librarySetup))
      .Key("takenAt")
      .String(drift->origin.takenAt)
      .Key("summary")
      .String(drift->Summary())
      .Key("gone")
      .Bool(drift->libraryGone)
      .Key("goneReason")
      .String(drift->goneReason)
      .Key("pending")
      .Bool(drift->pendingBase);
  json.Key("counts").BeginObject();
  for (const auto state : {ornhost::DriftState::ChangedInLibrary, ornhost::DriftState::ChangedHere,
                           ornhost::DriftState::Conflict}) {
    json.Key(ornhost::DriftStateName(state)).Number(static_cast<std::int64_t>(drift->Count(state)));
  }
  json.EndObject();
  json.Key("rows").BeginArray();
  for (const auto& row : drift->rows) {
    json.BeginArray()
        .String(row.property)
        .String(ornhost::DriftStateName(row.state))
        .String(row.here)
        .String(row.base)
        .String(row.library)
        .EndArray();
  }
  json.EndArray();
  json.EndObject();
}

void WriteLabels(JsonWriter& json) {
  json.Key("labels").BeginObject();
  for (const auto& setting : ornhost::EnumerationLabels()) {
    json.Key(setting.key).BeginArray();
    for (const auto& label : setting.labels) {
      json.BeginArray().Number(static_cast<std::int64_t>(label.value)).String(label.label);
      json.EndArray();
    }
    json.EndArray();
  }
  json.EndObject();
  json.Key("outputs").BeginArray();
  for (const auto& channel : ornhost::OutputChannelLabels()) {
    json.BeginArray().Number(static_cast<std::int64_t>(channel.value)).String(channel.label);
    json.EndArray();
  }
  json.EndArray();
}

}  // namespace

std::string BuildPanelPicture(const ModuleApi& api, const PanelSession& session) {
  auto& viewModel = MainPanel::Instance().ViewModel();
  const RenderSetup* current = viewModel.CurrentRenderSetup();
  JsonWriter json;
  json.BeginObject();

  json.Key("masterFile");
  if (auto* master = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile()) {
    json.String(std::u16string_view(master->GetFileName().str()));
  } else {
    json.Null();
  }

  json.Key("current");
  if (current != nullptr) {
    json.BeginObject()
        .Key("group")
        .String(current->GetGroup() == Group::MasterFile ? "master" : "library")
        .Key("library")
        .String(current->GetGroup() == Group::Library ? current->ListedIn : u"")
        .Key("name")
        .String(current->Name().value_or(u""))
        .EndObject();
  } else {
    json.Null();
  }

  // Counts for the list; every value only for the setup shown.
  std::map<std::u16string, ornhost::Drift> drifts;
  try {
    drifts = ornhost::AllDrift();
    if (current != nullptr && current->GetGroup() == Group::MasterFile) {
      const std::u16string name = current->Name().value_or(u"");
      if (auto drift = ornhost::DriftOf(name)) drifts[name] = std::move(*drift);
    }
  } catch (const std::exception&) {
    // A file that cannot be read now still shows its setups, without their origins.
  }
  json.Key("master").BeginArray();
  for (const auto& setup : viewModel.Setups(Group::MasterFile)) {
    const std::u16string name = setup->Name().value_or(u"");
    const auto drift = drifts.find(name);
    WriteOrigin(json.BeginObject(), drift != drifts.end() ? &drift->second : nullptr);
    json.Key("name").String(name);
    json.Key("modified").Bool(api.IsModified(name.c_str()) == 1);
    json.Key("matchesLibrary").Number(api.MatchesToLibrarySetup(name.c_str()));
    json.Key("newBorn").Bool(setup->NewBorn);
    WriteValues(json, *setup);
    json.EndObject();
  }
  json.EndArray();

  json.Key("library").BeginArray();
  for (const auto& setup : viewModel.Setups(Group::Library)) {
    json.BeginObject().Key("name").String(setup->Name().value_or(u""));
    json.Key("listedIn").String(setup->ListedIn);
    json.Key("storeIn").String(setup->StoreIn);
    WriteValues(json, *setup);
    json.EndObject();
  }
  json.EndArray();

  json.Key("question");
  if (session.question) {
    json.BeginObject().Key("id").Number(static_cast<std::int64_t>(session.question->id));
    json.Key("text").String(session.question->text).EndObject();
  } else {
    json.Null();
  }
  json.Key("messages").BeginArray();
  for (const PanelDialog& message : session.messages) {
    json.BeginObject().Key("id").Number(static_cast<std::int64_t>(message.id));
    json.Key("text").String(message.text).EndObject();
  }
  json.EndArray();
  json.Key("events").BeginArray();
  for (const PanelEvent& event : session.events) {
    json.BeginObject().Key("id").Number(static_cast<std::int64_t>(event.id));
    json.Key("kind").String(event.kind).Key("text").String(event.text).EndObject();
  }
  json.EndArray();
  json.Key("ended").Bool(session.ended);
  WriteLabels(json);
  json.EndObject();
  return json.Text();
}

}  // namespace ornr::workbench
