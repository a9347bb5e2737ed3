// What a panel model shows and what a reporting panel was told, as text to compare two models by.
#pragma once

#include <string>
#include <vector>

#include "panel/Panel.h"

namespace Teskor::RenderSetup::ViewModel {

// A view-model document of these elements.
inline std::u16string Doc(const std::u16string& body) {
  return u"<RenderSetupViewModel>" + body + u"</RenderSetupViewModel>";
}

// Each setup of both groups in order, its flags, files and properties, and the current setup.
inline std::u16string Shown(const RenderSetupViewModel& model) {
  std::u16string out;
  for (const Group group : {Group::MasterFile, Group::Library}) {
    for (const auto& setup : model.Setups(group)) {
      out += *setup->Name() + (setup->New ? u"|new|" : u"|old|") +
             (setup->NewBorn ? u"born|" : u"|") + setup->StoreIn + u"|" + setup->ListedIn;
      for (const Property& property : setup->Properties()) {
        out += u"|" + std::u16string(property.name.begin(), property.name.end()) + u"=";
        out += property.text;
      }
      out += u"\n";
    }
  }
  const RenderSetup* current = model.CurrentRenderSetup();
  return out + u"current " + (current != nullptr ? *current->Name() : u"none");
}

inline std::string Reported(const std::vector<TakenElement>& elements) {
  std::string out;
  for (const TakenElement& e : elements) {
    out += std::to_string(static_cast<int>(e.kind)) + "|" + e.element + "|" + e.name + "|" +
           e.newText + "|" + e.newBornText + "|" + e.storeIn + "|" + std::to_string(e.properties) +
           "\n";
  }
  return out;
}

}  // namespace Teskor::RenderSetup::ViewModel
