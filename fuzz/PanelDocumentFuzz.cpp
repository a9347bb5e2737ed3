// The panel's intake of a view-model document, and the value reads that follow it; a document the
// panel reads straight from its text must come out as the full parser reads it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "panel/DirectDocument.h"
#include "panel/Panel.h"
#include "panel/PropertyTexts.h"
#include "support/Utf.h"
#include "tests/panel/ModelShown.h"

using namespace Teskor::RenderSetup;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string xml = ornr::Utf8ToUtf16(bytes);
  ViewModel::RenderSetupViewModel model;
  const bool took = model.TakeDocument(xml);
  if (ViewModel::ReadDirect(xml, [](const ViewModel::DirectElement&) {})) {
    // A comment before the root sends the same document to the full parser.
    ViewModel::RenderSetupViewModel full, reporting;
    std::vector<ViewModel::TakenElement> taken, reported;
    if (full.TakeDocument(u"<!---->" + xml, &taken) != took ||
        reporting.TakeDocument(xml, &reported) != took ||
        ViewModel::Shown(full) != ViewModel::Shown(model) ||
        ViewModel::Shown(reporting) != ViewModel::Shown(model) ||
        ViewModel::Reported(reported) != ViewModel::Reported(taken)) {
      __builtin_trap();
    }
  }
  for (const auto group : {ViewModel::Group::MasterFile, ViewModel::Group::Library}) {
    for (const auto& setup : model.Setups(group)) {
      for (const auto& [name, text] : setup->Properties()) {
        const String property = ornr::Utf8ToUtf16(name);
        String s;
        Color c;
        bool b = false;
        std::uint64_t u64 = 0;
        std::int32_t i32 = 0;
        double d = 0;
        float f = 0;
        setup->GetPropertyValue(property, s);
        setup->GetPropertyValue(property, c);
        setup->GetPropertyValue(property, b);
        setup->GetPropertyValue(property, u64);
        setup->GetPropertyValue(property, i32);
        setup->GetPropertyValue(property, d);
        setup->GetPropertyValue(property, f);
        // What the panel lets the user type must read back as a value of its own.
        // Of two properties with one name the first counts.
        if (setup->PropertyText(name)->data() == text.data() &&
            !ViewModel::RefusalOfText(name, text)) {
          const auto kind = ViewModel::KindOfProperty(name);
          if (kind == ViewModel::PropertyKind::Double) {
            double back = std::nan("");
            setup->GetPropertyValue(property, back);
            if (std::isnan(back)) __builtin_trap();
          }
        }
      }
    }
  }
  if (const auto* current = model.CurrentRenderSetup()) {
    if (!current->Name()) __builtin_trap();
  }
  return 0;
}
