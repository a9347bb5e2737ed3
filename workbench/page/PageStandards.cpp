#include "workbench/page/PageStandards.h"

#include <exception>
#include <optional>

#include "host/controls/ValueWhy.h"
#include "host/provenance/Standards.h"
#include "support/Utf.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetup;

void WriteOverride(JsonWriter& json, const ornhost::OverrideRecord& record) {
  json.BeginObject().Key("reason").String(record.reason);
  // Empty while it waits for the save that stores it.
  if (!record.madeBy.empty()) json.Key("by").String(record.madeBy);
  if (!record.madeAt.empty()) json.Key("at").String(record.madeAt);
  json.EndObject();
}

void WriteNotes(JsonWriter& json, const ornhost::SetupStandards& standards) {
  if (!standards.description.empty()) json.Key("description").String(standards.description);
  if (standards.notes.empty()) return;
  json.Key("notes").BeginObject();
  for (const auto& [property, note] : standards.notes) json.Key(property).String(note);
  json.EndObject();
}

bool HasNotes(const ornhost::SetupStandards& standards) {
  return !standards.description.empty() || !standards.notes.empty();
}

// Whether a layer does more than the whole-copy library link the page has always shown.
bool Governs(const ornhost::Layer& layer) {
  return layer.kind == ornhost::LayerKind::Overlay || layer.standards.scope ||
         !layer.standards.locks.empty() || HasNotes(layer.standards);
}

void WriteMasterStandards(JsonWriter& json, const std::u16string& name) {
  std::optional<ornhost::Governed> governed;
  ornhost::SetupStandards own;
  try {
    governed = ornhost::GovernedOf(name);
    own = ornhost::StandardsOf(name);
  } catch (const std::exception&) {
    // Shown without its standards, as a setup the host cannot tell about.
  }
  bool any = HasNotes(own) || !own.overrides.empty();
  if (governed) {
    for (const ornhost::Layer& layer : governed->layers) any = any || Governs(layer);
  }
  if (!any) {
    json.Null();
    return;
  }
  json.BeginObject().Key("layers").BeginArray();
  if (governed) {
    for (const ornhost::Layer& layer : governed->layers) {
      json.BeginObject().Key("label").String(layer.Label());
      json.Key("overlay").Bool(layer.kind == ornhost::LayerKind::Overlay);
      json.Key("gone").Bool(layer.libraryGone);
      json.Key("scoped").Bool(layer.standards.scope.has_value());
      json.Key("governs").Number(static_cast<std::int64_t>(layer.governed.count()));
      if (!layer.standards.description.empty()) {
        json.Key("description").String(layer.standards.description);
      }
      json.EndObject();
    }
  }
  json.EndArray().Key("governed").BeginObject();
  if (governed) {
    for (const ornhost::GovernedValue& value : governed->values) {
      if (!value.layer) continue;
      const ornhost::Layer& layer = governed->layers[*value.layer];
      json.Key(value.property).BeginObject();
      json.Key("layer").Number(static_cast<std::int64_t>(*value.layer));
      json.Key("library").String(value.library);
      if (value.lockReason) json.Key("lock").String(*value.lockReason);
      if (value.override) {
        json.Key("override");
        WriteOverride(json, *value.override);
      }
      if (const auto note = layer.standards.notes.find(value.property);
          note != layer.standards.notes.end()) {
        json.Key("note").String(note->second);
      }
      json.EndObject();
    }
  }
  json.EndObject();
  WriteNotes(json, own);
  json.EndObject();
}

void WriteLibraryStandards(JsonWriter& json, const RenderSetup& setup) {
  std::optional<ornhost::SetupStandards> standards;
  try {
    standards =
        ornhost::FindLibrarySetup(setup.Name().value_or(u""), std::filesystem::path(setup.ListedIn))
            .standards;
  } catch (const std::exception&) {
    // Shown without its standards.
  }
  if (!standards || (!standards->scope && standards->locks.empty() && !HasNotes(*standards))) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.Key("scoped").Bool(standards->scope.has_value());
  json.Key("governs").Number(static_cast<std::int64_t>(
      standards->scope ? standards->scope->count() : ornhost::AllProperties().count()));
  if (standards->scope) {
    json.Key("scope").BeginArray();
    for (const std::string& property : ornhost::PropertyNames(*standards->scope)) {
      json.String(property);
    }
    json.EndArray();
  }
  if (!standards->locks.empty()) {
    json.Key("locks").BeginObject();
    for (const auto& [property, reason] : standards->locks) json.Key(property).String(reason);
    json.EndObject();
  }
  WriteNotes(json, *standards);
  json.EndObject();
}

void WriteOptional(JsonWriter& json, const char* key, const std::string& text) {
  if (!text.empty()) json.Key(key).String(text);
}

}  // namespace

void WriteStandards(JsonWriter& json, const RenderSetup& setup) {
  if (setup.GetGroup() == Group::MasterFile) {
    WriteMasterStandards(json, setup.Name().value_or(u""));
  } else {
    WriteLibraryStandards(json, setup);
  }
}

std::string WhyJson(const std::string& name, const std::string& property) {
  ornhost::ValueWhy why;
  try {
    why = ornhost::WhyOf(Utf8ToUtf16(name), property);
  } catch (const std::exception& error) {
    JsonWriter json;
    json.BeginObject().Key("error").String(error.what()).EndObject();
    return json.Take();
  }
  JsonWriter json;
  json.BeginObject().Key("property").String(why.property).Key("now").String(why.now);
  if (why.saved) json.Key("saved").String(*why.saved);
  json.Key("default").String(why.defaultValue);
  json.Key("state").String(ornhost::DriftStateName(why.governed.state));
  if (why.layer) {
    json.Key("layer").BeginObject().Key("label").String(why.layer->Label());
    json.Key("overlay").Bool(why.layer->kind == ornhost::LayerKind::Overlay);
    json.Key("gone").Bool(why.layer->libraryGone).EndObject();
    json.Key("base").String(why.governed.base).Key("library").String(why.governed.library);
    json.Key("libraryChanged").Bool(why.libraryChanged);
    if (!why.governed.shadowed.empty()) json.Key("shadowed").Bool(true);
  }
  if (why.governed.lockReason) json.Key("lock").String(*why.governed.lockReason);
  if (why.governed.override) {
    json.Key("override");
    WriteOverride(json, *why.governed.override);
  }
  if (const auto& change = why.lastChange) {
    json.Key("lastChange").BeginObject().Key("number").Number(change->number);
    json.Key("madeAt").String(change->madeAt).Key("madeBy").String(change->madeBy);
    json.Key("action").String(change->action);
    json.Key("before").String(change->before).Key("after").String(change->after);
    if (change->overrideReason) json.Key("override").String(*change->overrideReason);
    json.EndObject();
  }
  WriteOptional(json, "libraryDescription", why.libraryDescription);
  WriteOptional(json, "libraryNote", why.libraryNote);
  WriteOptional(json, "description", why.description);
  WriteOptional(json, "note", why.note);
  json.EndObject();
  return json.Take();
}

}  // namespace ornr::workbench
