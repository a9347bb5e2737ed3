// Setups as text: the setups document that export writes.
#include <cstdio>
#include <map>

#include "host/controls/HostControls.h"
#include "host/exchange/SetupsDocument.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/StoredSetups.h"
#include "support/OutputFile.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

namespace {

bool HasUnpairedSurrogate(std::u16string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (ornr::IsSurrogatePairAt(name, i)) {
      ++i;
    } else if (ornr::IsSurrogate(name[i])) {
      return true;
    }
  }
  return false;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The 68 values as a JSON object, one a line, its closing brace at indent.
std::string SettingsObject(const OrnSettings& settings, const std::string& indent) {
  std::string text = "{\n";
  const auto values = SettingTexts(settings);
  for (std::size_t i = 0; i < values.size(); ++i) {
    text += indent + "  \"" + values[i].first + "\": " + values[i].second +
            (i + 1 < values.size() ? ",\n" : "\n");
  }
  return text + indent + "}";
}

// The values of only those properties, as a JSON object.
std::string SomeSettingsObject(const OrnSettings& settings, const PropertySet& which,
                               const std::string& indent) {
  std::string text = "{";
  const auto values = SettingTexts(settings);
  bool first = true;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!which.test(i)) continue;
    text += std::string(first ? "\n" : ",\n") + indent + "  \"" + values[i].first +
            "\": " + values[i].second;
    first = false;
  }
  return text + "\n" + indent + "}";
}

std::string NamesArray(const PropertySet& set) {
  std::string text = "[";
  for (const std::string& name : PropertyNames(set)) {
    text += (text.size() == 1 ? "" : ", ") + JsonString(name);
  }
  return text + "]";
}

std::string TextsObject(const std::map<std::string, std::string>& texts) {
  std::string text = "{";
  for (const auto& [property, value] : texts) {
    text += std::string(text.size() == 1 ? "\n" : ",\n") + "        " + JsonString(property) +
            ": " + JsonString(value);
  }
  return text + "\n      }";
}

}  // namespace

std::string detail::SourceMember(const Provenance& origin) {
  return ",\n      \"source\": {\n        \"libraryFile\": " +
         JsonString(ornr::Utf16ToUtf8(origin.libraryFile)) +
         ",\n        \"libraryPath\": " + JsonString(origin.libraryPath) +
         ",\n        \"librarySetup\": " + JsonString(ornr::Utf16ToUtf8(origin.librarySetup)) +
         ",\n        \"takenAt\": " + JsonString(origin.takenAt) +
         (origin.governed && !origin.governed->all()
              ? ",\n        \"governed\": " + NamesArray(*origin.governed)
              : std::string()) +
         ",\n        \"base\": " + SettingsObject(origin.base, "        ") + "\n      }";
}

std::string detail::StandardsMembers(const SetupStandards& standards,
                                     const std::vector<Provenance>& overlays) {
  std::string text;
  if (!standards.description.empty()) {
    text += ",\n      \"description\": " + JsonString(standards.description);
  }
  if (!standards.notes.empty()) text += ",\n      \"notes\": " + TextsObject(standards.notes);
  if (standards.scope && !standards.scope->all()) {
    text += ",\n      \"scope\": " + NamesArray(*standards.scope);
  }
  if (!standards.locks.empty()) text += ",\n      \"locks\": " + TextsObject(standards.locks);
  if (!standards.overrides.empty()) {
    text += ",\n      \"overrides\": {";
    bool first = true;
    for (const auto& [property, record] : standards.overrides) {
      text += std::string(first ? "\n" : ",\n") + "        " + JsonString(property) +
              ": {\"reason\": " + JsonString(record.reason) +
              ", \"madeBy\": " + JsonString(record.madeBy) +
              ", \"madeAt\": " + JsonString(record.madeAt) + "}";
      first = false;
    }
    text += "\n      }";
  }
  if (!overlays.empty()) {
    text += ",\n      \"overlays\": [";
    for (std::size_t i = 0; i < overlays.size(); ++i) {
      const Provenance& overlay = overlays[i];
      text += std::string(i == 0 ? "\n" : ",\n") +
              "        {\"libraryFile\": " + JsonString(ornr::Utf16ToUtf8(overlay.libraryFile)) +
              ", \"libraryPath\": " + JsonString(overlay.libraryPath) +
              ", \"librarySetup\": " + JsonString(ornr::Utf16ToUtf8(overlay.librarySetup)) +
              ", \"takenAt\": " + JsonString(overlay.takenAt) + ",\n          \"base\": " +
              SomeSettingsObject(overlay.base, overlay.governed.value_or(AllProperties()),
                                 "          ") +
              "}";
    }
    text += "\n      ]";
  }
  return text;
}

std::string detail::SetupsDocument(const std::vector<StoredSetup>& setups,
                                   const std::function<std::string(const StoredSetup&)>& members) {
  std::string text = "{\n  \"format\": \"" + std::string(detail::kSetupsFormatName) +
                     "\",\n  \"version\": " + std::to_string(detail::kSetupsFormatVersion) +
                     ",\n  \"setups\": [";
  for (std::size_t n = 0; n < setups.size(); ++n) {
    text += n == 0 ? "\n" : ",\n";
    text += "    {\n      \"name\": " + JsonString(ornr::Utf16ToUtf8(setups[n].name)) +
            ",\n      \"settings\": ";
    text += SettingsObject(setups[n].settings, "      ");
    if (members) text += members(setups[n]);
    text += "\n    }";
  }
  text += setups.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return text;
}

void ExportSetups(const std::filesystem::path& designFile, const std::vector<std::u16string>& names,
                  const std::filesystem::path& out) {
  const std::vector<StoredSetup> stored = ReadSetups(designFile);
  std::map<std::u16string, StoredSetupRecord> records;
  for (StoredSetupRecord& record : ReadStoredFile(designFile).setups) {
    records.emplace(record.name, std::move(record));
  }
  const std::string label = "design file \"" + designFile.string() + "\"";
  std::vector<StoredSetup> chosen;
  for (const std::u16string& wanted : names) {
    const std::string name = ornr::Utf16ToUtf8(wanted);
    const StoredSetup* found = nullptr;
    for (const StoredSetup& setup : stored) {
      if (setup.name == wanted) found = &setup;
    }
    if (found == nullptr) throw DesignFileError(label, "holds no setup \"" + name + "\"");
    if (!found->valid) {
      throw DesignFileError(label, "the stored record of \"" + name + "\" cannot be read");
    }
    if (HasUnpairedSurrogate(wanted)) {
      throw DesignFileError(
          label, "the name \"" + name + "\" is not whole UTF-16 and cannot be written as text");
    }
    chosen.push_back(*found);
  }
  const std::string text = detail::SetupsDocument(chosen, [&](const StoredSetup& setup) {
    const auto record = records.find(setup.name);
    if (record == records.end()) return std::string();
    const StoredSetupRecord& found = record->second;
    return (found.origin ? detail::SourceMember(*found.origin) : std::string()) +
           detail::StandardsMembers(found.standards, found.overlays);
  });

  // Whole or not at all, and a device, FIFO or link named as out stays what it is.
  try {
    ornr::WriteOutputFile(out, text);
  } catch (const ornr::OutputFileError& error) {
    throw DesignFileError("\"" + out.string() + "\"", "cannot be written: " + error.Reason());
  }
}

}  // namespace ornhost
