#include "settings/CatalogueFiles.h"

#include <cstdio>

#include "settings/SettingsCatalogue.h"
#include "support/Utf.h"

namespace ornr::settings {

using Teskor::ZelPlatform::PropertyType;

namespace {

// Generated files say where they come from and how to make them again.
constexpr std::string_view kRefresh = "cmake --build --preset default --target catalogue-files";

// The page's modules are served as UTF-8 but read in tests and by people as text: ASCII only.
std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (const char16_t unit : Utf8ToUtf16(text)) {
    if (unit == u'\'' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit < 0x20 || unit > 0x7E) {
      char escape[7] = {};
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
      out += escape;
    } else {
      out += static_cast<char>(unit);
    }
  }
  return out + "'";
}

std::string Cell(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '|' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string Code(std::string_view text) {
  return "`" + std::string(text) + "`";
}

constexpr bool EveryPropertyHasAnEditor() {
  for (const CatalogueProperty& property : kProperties) {
    switch (property.type) {
      case PropertyType::Bool:
      case PropertyType::UInt32:
      case PropertyType::Int32:
      case PropertyType::UInt64:
      case PropertyType::Double:
        continue;
      default:
        return false;
    }
  }
  return true;
}

static_assert(EveryPropertyHasAnEditor(), "the page has no editor for a type of the catalogue");

}  // namespace

std::string_view PageType(PropertyType type) {
  switch (type) {
    case PropertyType::Bool:
      return "bool";
    case PropertyType::UInt32:
      return "u32";
    case PropertyType::Int32:
      return "i32";
    case PropertyType::UInt64:
      return "u64";
    case PropertyType::Double:
      return "f64";
    case PropertyType::Float:
    case PropertyType::String:
    case PropertyType::Color:
      break;
  }
  return {};
}

std::string_view TypeName(PropertyType type) {
  switch (type) {
    case PropertyType::Float:
      return "Float";
    case PropertyType::Double:
      return "Double";
    case PropertyType::Bool:
      return "Bool";
    case PropertyType::UInt32:
      return "UInt32";
    case PropertyType::String:
      return "String";
    case PropertyType::Color:
      return "Color";
    case PropertyType::Int32:
      return "Int32";
    case PropertyType::UInt64:
      return "UInt64";
  }
  return {};
}

std::string PageCatalogueModule() {
  std::string out =
      "// Made by the build from the settings catalogue (settings/OrnSettingsCatalogue.def and\n"
      "// settings/OrnSettingsSections.def): change the catalogue, not this file. The program\n"
      "// embeds the copy the build makes; the tests hold this one equal to it, and\n"
      "// `";
  out.append(kRefresh).append(
      "` writes it again.\n"
      "// The sections in the order shown, as [identifier, title, settings], each setting as\n"
      "// [name, type, label, description] in English. Types: bool, u32, i32, u64, f64.\n"
      "export const CATALOGUE = [\n");
  for (const CatalogueSection& section : kSections) {
    out.append("  [")
        .append(Quoted(section.identifier))
        .append(", ")
        .append(Quoted(section.title))
        .append(", [\n");
    for (const ShownProperty& shown : section.Properties()) {
      out.append("    [")
          .append(Quoted(shown.name))
          .append(", ")
          .append(Quoted(PageType(FindProperty(shown.name)->type)))
          .append(", ")
          .append(Quoted(shown.label))
          .append(", ")
          .append(Quoted(shown.description))
          .append("],\n");
    }
    out.append("  ]],\n");
  }
  return out.append("];\n");
}

std::string SettingsTable() {
  std::string out =
      "# The settings\n"
      "\n"
      "<!-- Made from the settings catalogue (settings/OrnSettingsCatalogue.def and\n"
      "     settings/OrnSettingsSections.def): change the catalogue, not this file. The tests\n"
      "     hold it equal to the catalogue, and\n"
      "     `";
  out.append(kRefresh).append(
      "` writes it again. -->\n"
      "\n"
      "A setup has ");
  out.append(std::to_string(kPropertyCount))
      .append(
          " settings. The page shows them in sections; a section's identifier is its word, the\n"
          "key of its translated title (`Section_IDENTIFIER`).\n"
          "\n"
          "| Section | Title | Settings |\n"
          "|---|---|---:|\n");
  for (const CatalogueSection& section : kSections) {
    out.append("| ")
        .append(Code(section.identifier))
        .append(" | ")
        .append(Cell(section.title))
        .append(" | ")
        .append(std::to_string(section.count))
        .append(" |\n");
  }
  out.append(
      "\n"
      "The settings in the catalogue's order, which is the order of the view-model document, of\n"
      "an exported setup and of the design file's columns. The type is the property registry's;\n"
      "the label and description are the English texts of `Property_NAME` and\n"
      "`Property_NAME_Description`.\n"
      "\n"
      "| # | Name | Type | Section | Label | Description |\n"
      "|---:|---|---|---|---|---|\n");
  for (const CatalogueProperty& property : kProperties) {
    const ShownProperty* shown = FindShown(property.name);
    out.append("| ")
        .append(std::to_string(property.position))
        .append(" | ")
        .append(Code(property.name))
        .append(" | ")
        .append(TypeName(property.type))
        .append(" | ")
        .append(Code(SectionOf(property.name)->identifier))
        .append(" | ")
        .append(Cell(shown->label))
        .append(" | ")
        .append(Cell(shown->description))
        .append(" |\n");
  }
  return out;
}

}  // namespace ornr::settings
