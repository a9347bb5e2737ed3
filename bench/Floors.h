// The floors: the least work that the same libraries need for each stage of a load, written
// directly, so that a stage's time can be read against what it could cost.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "host/RenderStore.h"

namespace ornr::bench {

struct FloorSetup {
  std::u16string name;
  Teskor::ZelPlatform::OrnSettings settings;
};

/// One SELECT of every setup with its property rows and the reading of each value.
std::vector<FloorSetup> SelectAndParse(const std::filesystem::path& path);

/// The view-model document of these setups, built straight with pugixml: byte for byte what the
/// module writes for them (group "SetupsFromMasterFile", "New"/"CurrentRenderSetup" by select).
void BuildDocument(pugi::xml_document& document,
                   const std::vector<const Teskor::ZelPlatform::OrnSetup*>& setups,
                   const std::u16string& storeIn, bool select);

/// The same from rows read by SelectAndParse.
void BuildDocument(pugi::xml_document& document, const std::vector<FloorSetup>& setups,
                   const std::u16string& storeIn, bool select);

/// The root element, compact, empty elements in the long form.
std::string PrintDocument(const pugi::xml_document& document);

/// Parses the UTF-16 text and visits every element, attribute and text once; returns a checksum.
std::size_t ParseAndWalk(std::u16string_view xml);

}  // namespace ornr::bench
