#include "workbench/page/PageJson.h"

#include "host/controls/HostControls.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetup;

constexpr ornhost::DriftState kCounted[] = {ornhost::DriftState::ChangedInLibrary,
                                            ornhost::DriftState::ChangedHere,
                                            ornhost::DriftState::Conflict};

void WriteCounts(JsonWriter& json, const std::array<std::size_t, 3>& counts) {
  json.Key("counts").BeginObject();
  for (std::size_t i = 0; i < counts.size(); ++i) {
    json.Key(ornhost::DriftStateName(kCounted[i])).Number(static_cast<std::int64_t>(counts[i]));
  }
  json.EndObject();
}

}  // namespace

OriginBadge OriginBadge::Of(const ornhost::Drift& drift) {
  OriginBadge badge;
  badge.libraryFile = drift.origin.libraryFile;
  badge.librarySetup = drift.origin.librarySetup;
  badge.summary = drift.Summary();
  badge.gone = drift.libraryGone;
  for (std::size_t i = 0; i < badge.counts.size(); ++i) badge.counts[i] = drift.Count(kCounted[i]);
  return badge;
}

void WriteKeyMembers(JsonWriter& json, Group group, std::u16string_view library,
                     std::u16string_view name) {
  json.Key("group").String(group == Group::MasterFile ? "master" : "library");
  json.Key("library").String(group == Group::MasterFile ? std::u16string_view() : library);
  json.Key("name").String(name);
}

void WriteKeyMembers(JsonWriter& json, const RenderSetup& setup) {
  WriteKeyMembers(json, setup.GetGroup(), setup.ListedIn, setup.Name().value_or(u""));
}

void WriteKey(JsonWriter& json, const RenderSetup* setup) {
  if (setup == nullptr) {
    json.Null();
    return;
  }
  json.BeginObject();
  WriteKeyMembers(json, *setup);
  json.EndObject();
}

void WriteRow(JsonWriter& json, const RenderSetup& setup, std::uint64_t revision,
              const SetupMarks* marks) {
  json.BeginObject().Key("name").String(setup.Name().value_or(u""));
  json.Key("rev").Number(static_cast<std::int64_t>(revision));
  if (marks != nullptr) {
    json.Key("modified").Bool(marks->modified).Key("matches").Number(marks->matches);
    if (marks->newBorn) json.Key("newBorn").Bool(true);
    if (const auto& origin = marks->origin) {
      json.Key("origin").BeginObject();
      json.Key("libraryFile").String(origin->libraryFile);
      json.Key("librarySetup").String(origin->librarySetup);
      json.Key("summary").String(origin->summary).Key("gone").Bool(origin->gone);
      WriteCounts(json, origin->counts);
      json.EndObject();
    }
  }
  json.EndObject();
}

void WriteValues(JsonWriter& json, const RenderSetup& setup) {
  json.BeginArray();
  for (const auto& [property, text] : setup.Properties()) {
    json.BeginArray().String(property).String(text).EndArray();
  }
  json.EndArray();
}

void WriteOrigin(JsonWriter& json, const ornhost::Drift* drift) {
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
  WriteCounts(json, OriginBadge::Of(*drift).counts);
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

}  // namespace ornr::workbench
