// Setups as text: import checks a setups document whole, then stores its setups.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>
#include <type_traits>

#include "host/controls/HostControls.h"
#include "host/exchange/JsonTree.h"
#include "host/exchange/SettingFields.h"
#include "host/exchange/SetupsDocument.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/ProvenanceTable.h"
#include "host/session/HostState.h"
#include "host/store/SettingKinds.h"
#include "host/store/SetupNames.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost {

namespace {

using detail::Field;
using detail::Fields;
using detail::FieldValue;
using detail::JsonNode;
using detail::KindName;
using detail::kSetupsFormatName;
using detail::kSetupsFormatVersion;
using Kind = detail::SettingKind;

// The value of node as kind, or the reason it is none.
std::optional<FieldValue> CheckValue(const JsonNode& node, Kind kind, std::string& why) {
  FieldValue value;
  const auto range = [&](std::int64_t low, std::uint64_t high) -> std::optional<FieldValue> {
    const bool negative = node.type == JsonNode::Type::Signed && node.signedValue < 0;
    const bool inRange = negative ? node.signedValue >= low
                                  : (node.type == JsonNode::Type::Unsigned
                                         ? node.unsignedValue
                                         : std::uint64_t(node.signedValue)) <= high;
    if (!inRange) {
      why = std::string("out of the range of ") + KindName(kind) + " (" + std::to_string(low) +
            " to " + std::to_string(high) + ")";
      return std::nullopt;
    }
    value.integer = negative ? node.signedValue : 0;
    value.unsignedInteger = node.type == JsonNode::Type::Unsigned ? node.unsignedValue
                                                                  : std::uint64_t(node.signedValue);
    if (!negative) value.integer = static_cast<std::int64_t>(value.unsignedInteger);
    return value;
  };
  switch (kind) {
    case Kind::Bool:
      if (node.type != JsonNode::Type::Bool) break;
      value.boolean = node.boolean;
      return value;
    case Kind::Double:
      if (!node.IsNumber()) break;
      value.real = node.type == JsonNode::Type::Float      ? node.floatValue
                   : node.type == JsonNode::Type::Unsigned ? double(node.unsignedValue)
                                                           : double(node.signedValue);
      if (!std::isfinite(value.real)) {
        why = "out of the range of Double";
        return std::nullopt;
      }
      return value;
    case Kind::UInt32:
      if (node.type != JsonNode::Type::Signed && node.type != JsonNode::Type::Unsigned) break;
      return range(0, std::numeric_limits<std::uint32_t>::max());
    case Kind::Int32:
      if (node.type != JsonNode::Type::Signed && node.type != JsonNode::Type::Unsigned) break;
      return range(std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max());
    case Kind::UInt64:
      if (node.type != JsonNode::Type::Signed && node.type != JsonNode::Type::Unsigned) break;
      return range(0, std::numeric_limits<std::uint64_t>::max());
  }
  why = std::string("expected ") +
        (kind == Kind::Bool     ? "true or false"
         : kind == Kind::Double ? "a number"
                                : "an integer") +
        " (" + KindName(kind) + "), got " + node.TypeName();
  return std::nullopt;
}

// Why the host would not store a setup of that name, or empty.
std::string NameProblem(std::u16string_view name) {
  return RefusalOfSetupName(name).value_or("");
}

}  // namespace

std::string ImportProblem::Text() const {
  return file + ":" + std::to_string(line) + ": " + (property.empty() ? "" : property + ": ") +
         message;
}

ImportError::ImportError(std::vector<ImportProblem> problems)
    : std::runtime_error(
          problems.empty()
              ? std::string("nothing to import")
              : problems.front().Text() +
                    (problems.size() > 1
                         ? " (and " + std::to_string(problems.size() - 1) + " more problems)"
                         : "")),
      problems_(std::move(problems)) {}

std::vector<std::u16string> ImportSetups(const std::filesystem::path& designFile,
                                         const std::filesystem::path& in, bool replace) {
  const std::string file = in.string();
  std::vector<ImportProblem> problems;
  const auto problem = [&](std::size_t line, std::string property, std::string message) {
    problems.push_back({file, line, std::move(property), std::move(message)});
  };

  std::ifstream stream(in, std::ios::binary);
  std::ostringstream content;
  content << stream.rdbuf();
  if (!stream) throw ImportError({{file, 0, "", "cannot read the file"}});
  JsonNode root;
  try {
    root = detail::ReadJson(content.str());
  } catch (const detail::JsonSyntaxError& error) {
    throw ImportError({{file, error.Line(), "", std::string("not JSON: ") + error.what()}});
  }
  if (root.type != JsonNode::Type::Object) {
    throw ImportError({{file, root.line, "", "expected an object, got " + root.TypeName()}});
  }

  struct Incoming {
    std::u16string name;
    std::size_t line = 0;
    std::string path;
    OrnSettings settings;
    std::optional<Provenance> source;
  };
  // All 68 properties of an object, each once, known and of its type.
  const auto readSettings = [&](const JsonNode& value, const std::string& path,
                                OrnSettings& settings) {
    if (value.type != JsonNode::Type::Object) {
      problem(value.line, path, "expected an object, got " + value.TypeName());
      return;
    }
    std::map<std::string, std::size_t> seen;
    for (const auto& [property, v] : value.members) {
      const std::string where = path + "." + property;
      const Field* field = nullptr;
      for (const Field& f : Fields()) {
        if (property == f.key) field = &f;
      }
      if (field == nullptr) {
        problem(v.line, where, "unknown property");
        continue;
      }
      if (const auto [earlier, first] = seen.emplace(property, v.line); !first) {
        problem(v.line, where, "repeated (first at line " + std::to_string(earlier->second) + ")");
        continue;
      }
      std::string why;
      if (const auto checked = CheckValue(v, field->kind, why)) {
        field->set(settings, *checked);
      } else {
        problem(v.line, where, why);
      }
    }
    for (const Field& f : Fields()) {
      if (!seen.contains(f.key)) problem(value.line, path + "." + f.key, "missing");
    }
  };
  // Where a setup was taken from: every member there, the base as settings are.
  const auto readSource = [&](const JsonNode& value,
                              const std::string& path) -> std::optional<Provenance> {
    if (value.type != JsonNode::Type::Object) {
      problem(value.line, path, "expected an object, got " + value.TypeName());
      return std::nullopt;
    }
    Provenance source;
    const std::size_t before = problems.size();
    std::map<std::string, bool> seen;
    for (const auto& [member, v] : value.members) {
      const std::string where = path + "." + member;
      if (seen[member]) {
        problem(v.line, where, "repeated");
        continue;
      }
      seen[member] = true;
      if (member == "base") {
        readSettings(v, where, source.base);
        continue;
      }
      const bool known = member == "libraryFile" || member == "libraryPath" ||
                         member == "librarySetup" || member == "takenAt";
      if (!known) {
        problem(v.line, where, "unknown member");
        continue;
      }
      if (v.type != JsonNode::Type::String || v.text.empty()) {
        problem(v.line, where, "expected a text that is not empty, got " + v.TypeName());
        continue;
      }
      if (member == "libraryFile") {
        source.libraryFile = ornr::Utf8ToUtf16(v.text);
      } else if (member == "libraryPath") {
        source.libraryPath = v.text;
        if (!std::filesystem::path(v.text).is_absolute()) {
          problem(v.line, where, "expected an absolute path");
        }
      } else if (member == "takenAt") {
        source.takenAt = v.text;
      } else {
        source.librarySetup = ornr::Utf8ToUtf16(v.text);
        if (const std::string why = NameProblem(source.librarySetup); !why.empty()) {
          problem(v.line, where, why);
        }
      }
    }
    for (const char* member : {"libraryFile", "libraryPath", "librarySetup", "takenAt", "base"}) {
      if (!seen[member]) problem(value.line, path + "." + member, "missing");
    }
    if (problems.size() != before) return std::nullopt;
    return source;
  };
  std::vector<Incoming> incoming;
  bool sawFormat = false, sawVersion = false, sawSetups = false;
  for (const auto& [key, node] : root.members) {
    if (key == "format") {
      sawFormat = true;
      if (node.type != JsonNode::Type::String || node.text != kSetupsFormatName) {
        problem(node.line, key, std::string("expected \"") + kSetupsFormatName + "\"");
      }
    } else if (key == "version") {
      sawVersion = true;
      const bool integer = node.type == JsonNode::Type::Unsigned;
      if (!integer || node.unsignedValue != std::uint64_t(kSetupsFormatVersion)) {
        problem(node.line, key,
                integer && node.unsignedValue > std::uint64_t(kSetupsFormatVersion)
                    ? "version " + std::to_string(node.unsignedValue) + " is newer than version " +
                          std::to_string(kSetupsFormatVersion) + " that this host reads"
                    : "expected " + std::to_string(kSetupsFormatVersion));
      }
    } else if (key == "setups") {
      sawSetups = true;
      if (node.type != JsonNode::Type::Array) {
        problem(node.line, key, "expected an array, got " + node.TypeName());
        continue;
      }
      for (std::size_t i = 0; i < node.items.size(); ++i) {
        const JsonNode& setup = node.items[i];
        const std::string at = "setups[" + std::to_string(i) + "]";
        if (setup.type != JsonNode::Type::Object) {
          problem(setup.line, at, "expected an object, got " + setup.TypeName());
          continue;
        }
        Incoming entry;
        entry.line = setup.line;
        bool named = false, hasSettings = false;
        for (const auto& [member, value] : setup.members) {
          const std::string path = at + "." + member;
          if (member == "name") {
            named = true;
            if (value.type != JsonNode::Type::String) {
              problem(value.line, path, "expected a string, got " + value.TypeName());
              continue;
            }
            entry.name = ornr::Utf8ToUtf16(value.text);
            entry.line = value.line;
            entry.path = path;
            if (const std::string why = NameProblem(entry.name); !why.empty()) {
              problem(value.line, path, why);
            }
          } else if (member == "settings") {
            hasSettings = true;
            readSettings(value, path, entry.settings);
          } else if (member == "source") {
            entry.source = readSource(value, path);
          } else {
            problem(value.line, path, "unknown member");
          }
        }
        if (!named) problem(setup.line, at + ".name", "missing");
        if (!hasSettings) problem(setup.line, at + ".settings", "missing");
        if (named) incoming.push_back(std::move(entry));
      }
    } else {
      problem(node.line, key, "unknown member");
    }
  }
  if (!sawFormat) problem(root.line, "format", "missing");
  if (!sawVersion) problem(root.line, "version", "missing");
  if (!sawSetups) problem(root.line, "setups", "missing");

  // Names: once in the document, and new to the design file unless replacing.
  std::map<std::u16string, std::size_t> firstLine;
  std::error_code ec;
  std::vector<StoredSetup> existing;
  if (std::filesystem::exists(designFile, ec)) existing = ReadSetups(designFile);
  for (const Incoming& entry : incoming) {
    if (entry.name.empty()) continue;
    const std::string quoted = "\"" + ornr::Utf16ToUtf8(entry.name) + "\"";
    if (const auto [earlier, first] = firstLine.emplace(entry.name, entry.line); !first) {
      problem(
          entry.line, "name",
          quoted + " is in the file twice (first at line " + std::to_string(earlier->second) + ")");
      continue;
    }
    if (replace) continue;
    for (const StoredSetup& setup : existing) {
      if (setup.name == entry.name) {
        problem(entry.line, entry.path,
                "the design file already holds " + quoted + " (import --replace replaces it)");
      }
    }
  }
  if (!problems.empty()) throw ImportError(std::move(problems));

  // The setups and where they came from (or that they came from nowhere) in one transaction: a
  // write that fails midway leaves the design file as it was.
  std::vector<std::pair<std::u16string, OrnSettings>> records;
  std::vector<std::u16string> stored;
  for (const Incoming& entry : incoming) {
    records.emplace_back(entry.name, entry.settings);
    stored.push_back(entry.name);
  }
  detail::StoreSetups(designFile, records,
                      [&](detail::DesignFile& db, std::size_t index, std::int64_t position) {
                        const auto& source = incoming[index].source;
                        detail::ProvenanceTable::Put(db, position, source ? &*source : nullptr);
                      });
  // A merge left pending in this session no longer fits the values just stored.
  for (detail::HostFile* file : detail::FindOpenFiles(designFile)) {
    for (const std::u16string& name : stored) {
      if (detail::StoreEntry* entry = file->Find(name)) detail::DropPendingBase(*entry->working);
    }
  }
  return stored;
}

}  // namespace ornhost
