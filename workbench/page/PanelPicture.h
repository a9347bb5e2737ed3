// The picture of the panel that the page renders: the panel model's setups and values, what the
// module says of each, and the dialogs and recent events of the session.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "workbench/Module.h"

namespace ornr::workbench {

struct PanelDialog {
  std::uint64_t id = 0;
  std::u16string text;
};

struct PanelEvent {
  std::uint64_t id = 0;
  std::string kind;  // "command", "error", "message", "question", "panel", "output"
  std::string text;
};

struct PanelSession {
  std::optional<PanelDialog> question;
  std::deque<PanelDialog> messages;
  std::deque<PanelEvent> events;
  bool ended = false;
};

/// The picture as JSON. Asks the module whether each master-file setup is modified and whether
/// it matches its library setup, so it runs on the user-interface thread only.
std::string BuildPanelPicture(const ModuleApi& api, const PanelSession& session);

}  // namespace ornr::workbench
