// The page library's one export: the browser panel, started for a session that asked for it.
#include <exception>
#include <memory>

#include "workbench/page/PagePanel.h"
#include "workbench/page/PageTexts.h"
#include "workbench/page/PanelFrontEnd.h"

extern "C" __attribute__((visibility("default"))) void rsmStartPagePanel(
    const ornr::workbench::PagePanelStart& start,
    ornr::workbench::PagePanelStarted& started) noexcept {
  using namespace ornr::workbench;
  static_assert(std::is_same_v<decltype(&rsmStartPagePanel), StartPagePanelFunction>);
  try {
    PanelAddress address = ParsePanelAddress(start.address);
    address.network = start.allowNetwork;
    // The page speaks the module's language: the same culture, the tables beside the module.
    std::string texts = PageTextsJson(start.textTables, start.cultures, &started.tablesWarning);
    started.panel =
        std::make_unique<PanelFrontEnd>(address, *start.api, start.runWords, std::move(texts))
            .release();
  } catch (const std::exception& error) {
    started.error = error.what();
  } catch (...) {
    started.error = "the browser panel could not start";
  }
}
