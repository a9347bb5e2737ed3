// The browser panel as a session drives it. The panel's server and what it links (HTTP, TLS,
// compression) are a library of their own, loaded only when a session asks for the panel: a
// command that serves no page does not pay for loading them.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/Module.h"
#include "workbench/Terminal.h"

namespace ornr::workbench {

class PagePanel {
 public:
  virtual ~PagePanel() = default;

  /// Every address that reaches the panel, token included, loopback first.
  virtual std::vector<std::string> Urls() const = 0;
  /// For an address other than loopback: a warning that the panel is open to the network; empty
  /// otherwise.
  virtual std::string NetworkWarning() const = 0;
  /// Readable when the page queued an action.
  virtual int PageFd() const noexcept = 0;
  /// The terminal that may answer questions too (null: none), and the stop signals' fd.
  virtual void SetTerminal(QuestionTerminal* terminal) noexcept = 0;
  virtual void SetStopFd(int fd) noexcept = 0;
  /// Runs the actions the page queued, and those held back while a question was open.
  virtual void RunPageActions() = 0;
  /// Tells every open page what changed since it was last told. words: the command that just ran
  /// (none: something else happened).
  virtual void Publish(const std::vector<std::string>& words) = 0;
  /// One transcript event, for the page's activity list.
  virtual void Note(std::string_view prefix, std::string_view text) = 0;
};

/// What the library needs to start the panel.
struct PagePanelStart {
  /// As --panel gave it: "ADDR:PORT", "ADDR:", ":PORT" or "".
  std::string address;
  bool allowNetwork = false;
  const ModuleApi* api = nullptr;
  /// Runs the words of one workbench command as the panel's button would.
  std::function<void(const std::vector<std::string>& words)> runWords;
  /// The folder of the module's tables of texts, and the session's cultures.
  std::filesystem::path textTables;
  std::vector<std::string> cultures;
};

/// How starting went: the panel, or why there is none; a warning about the tables of texts
/// either way.
struct PagePanelStarted {
  PagePanel* panel = nullptr;
  std::string error;
  std::string tablesWarning;
};

/// The library's one export: starts the panel (the caller owns it). Never throws.
using StartPagePanelFunction = void (*)(const PagePanelStart& start,
                                        PagePanelStarted& started) noexcept;
inline constexpr char kStartPagePanel[] = "rsmStartPagePanel";

}  // namespace ornr::workbench
