// What others read about the settings agrees with the catalogue, row by row: the JSON Schema of
// exported setups, the view-model document's XSD, the translated texts of every section and
// setting, and the host's names for values.
#include "settings/SettingsCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "host/controls/HostControls.h"
#include "settings/CatalogueFiles.h"

namespace {

namespace fs = std::filesystem;
using ornr::settings::kProperties;
using ornr::settings::kSections;
using Teskor::ZelPlatform::PropertyType;

const fs::path kSource = ORNR_SOURCE_DIR;

std::vector<std::string> CatalogueNames() {
  std::vector<std::string> names;
  for (const auto& property : kProperties) names.emplace_back(property.name);
  return names;
}

// How an exported setup writes a value of each registry type.
nlohmann::ordered_json JsonOfType(PropertyType type) {
  using Json = nlohmann::ordered_json;
  switch (type) {
    case PropertyType::Bool:
      return Json{{"type", "boolean"}, {"description", "Bool"}};
    case PropertyType::UInt32:
      return Json{{"type", "integer"},
                  {"minimum", 0},
                  {"maximum", std::numeric_limits<std::uint32_t>::max()},
                  {"description", "UInt32"}};
    case PropertyType::Int32:
      return Json{{"type", "integer"},
                  {"minimum", std::numeric_limits<std::int32_t>::min()},
                  {"maximum", std::numeric_limits<std::int32_t>::max()},
                  {"description", "Int32"}};
    case PropertyType::UInt64:
      return Json{{"type", "integer"},
                  {"minimum", 0},
                  {"maximum", std::numeric_limits<std::uint64_t>::max()},
                  {"description", "UInt64"}};
    case PropertyType::Double:
      return Json{{"type", "number"}, {"description", "Double"}};
    default:
      return Json{};
  }
}

TEST(SettingsCatalogue, JsonSchemaOfExportedSetupsRequiresEverySettingWithItsType) {
  std::ifstream in(kSource / "docs/render-setups.schema.json");
  const auto schema = nlohmann::ordered_json::parse(in);
  const auto& settings = schema.at("definitions").at("settings");
  EXPECT_EQ(settings.at("required").get<std::vector<std::string>>(), CatalogueNames());
  EXPECT_EQ(settings.at("additionalProperties"), false);
  // Scopes, locks, notes and overlays name properties by the same list.
  EXPECT_EQ(schema.at("definitions").at("property").at("enum").get<std::vector<std::string>>(),
            CatalogueNames());
  const auto& properties = settings.at("properties");
  ASSERT_EQ(properties.size(), ornr::settings::kPropertyCount);
  auto row = properties.begin();
  for (const auto& property : kProperties) {
    SCOPED_TRACE(std::string(property.name));
    EXPECT_EQ(row.key(), property.name);
    EXPECT_EQ(row.value(), JsonOfType(property.type));
    ++row;
  }
}

TEST(SettingsCatalogue, ViewModelSchemaHasAnElementPerSettingInCatalogueOrder) {
  pugi::xml_document xsd;
  ASSERT_TRUE(xsd.load_file((kSource / "docs/view-model.xsd").c_str()));
  const auto elements =
      xsd.select_nodes("/xs:schema/xs:complexType[@name='Setup']/xs:sequence/xs:element");
  ASSERT_EQ(elements.size(), ornr::settings::kPropertyCount);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const auto& property = kProperties[i];
    const pugi::xml_node element = elements[i].node();
    EXPECT_EQ(element.attribute("name").value(), property.name);
    EXPECT_EQ(std::string(element.attribute("type").value()),
              std::string(ornr::settings::TypeName(property.type)) + "Text")
        << property.name;
  }
}

// KEY=text lines of translations/Localizable.CULTURE.txt, for every culture shipped.
std::map<std::string, std::map<std::string, std::string>> TranslatedTexts() {
  std::map<std::string, std::map<std::string, std::string>> cultures;
  for (const auto& entry : fs::directory_iterator(kSource / "translations")) {
    const std::string file = entry.path().filename().string();
    if (!file.starts_with("Localizable.") || !file.ends_with(".txt")) continue;
    auto& texts = cultures[file.substr(12, file.size() - 16)];
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#' || line.find('=') == std::string::npos) continue;
      texts[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
  }
  return cultures;
}

TEST(SettingsCatalogue, EverySectionAndSettingHasItsTextsInEveryLanguage) {
  std::vector<std::string> keys;
  for (const auto& section : kSections)
    keys.push_back("Section_" + std::string(section.identifier));
  for (const auto& property : kProperties) {
    keys.push_back("Property_" + std::string(property.name));
    keys.push_back("Property_" + std::string(property.name) + "_Description");
  }
  const auto cultures = TranslatedTexts();
  ASSERT_GE(cultures.size(), 2u);
  for (const auto& [culture, texts] : cultures) {
    for (const std::string& key : keys) {
      const auto found = texts.find(key);
      EXPECT_TRUE(found != texts.end() && !found->second.empty())
          << "Localizable." << culture << ".txt lacks " << key;
    }
  }
}

// A section or setting renamed in the catalogue leaves its old texts behind, which no page shows.
TEST(SettingsCatalogue, EverySectionAndSettingTextNamesOneOfTheCatalogue) {
  const auto isSection = [](std::string_view id) {
    return std::any_of(kSections.begin(), kSections.end(),
                       [&](const auto& section) { return section.identifier == id; });
  };
  for (const auto& [culture, texts] : TranslatedTexts()) {
    for (const auto& [key, text] : texts) {
      std::string_view rest = key;
      if (rest.starts_with("Section_")) {
        EXPECT_TRUE(isSection(rest.substr(8))) << culture << ": " << key;
      } else if (rest.starts_with("Property_")) {
        rest.remove_prefix(9);
        if (rest.ends_with("_Description")) rest.remove_suffix(12);
        EXPECT_NE(ornr::settings::FindProperty(rest), nullptr) << culture << ": " << key;
      }
    }
  }
}

// The host names values by setting ("Value_JitterMode_1"): each must be a setting of the catalogue
// whose values are whole numbers.
TEST(SettingsCatalogue, EverySettingTheHostNamesValuesForIsAnIntegerSetting) {
  std::vector<std::string> named;
  for (const auto& setting : ornhost::EnumerationLabels()) named.emplace_back(setting.key);
  ASSERT_FALSE(named.empty());
  ASSERT_FALSE(ornhost::OutputChannelLabels().empty());
  named.emplace_back("Outputs");
  for (const std::string& name : named) {
    const auto* property = ornr::settings::FindProperty(name);
    ASSERT_NE(property, nullptr) << name;
    EXPECT_TRUE(property->type == PropertyType::UInt32 || property->type == PropertyType::Int32 ||
                property->type == PropertyType::UInt64)
        << name;
  }
}

}  // namespace
