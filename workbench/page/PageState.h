// What every open page is shown, kept on the user-interface thread: the panel's setups with the
// module's marks of each, the current setup, the session's dialogs and activity. Each step
// publishes what changed since the one before, found from what the panel model reported and the
// setups a command named, without going over every setup again.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "panel/Panel.h"
#include "workbench/Module.h"
#include "workbench/page/PageJson.h"
#include "workbench/page/PanelFeed.h"

namespace ornr::workbench {

struct PanelDialog {
  std::uint64_t id = 0;
  std::u16string text;
};

struct PanelEvent {
  std::uint64_t id = 0;
  std::string kind;  // "command", "error", "message", "question", "result"
  std::string text;
};

class PageState {
 public:
  /// Takes the panel's setups with the module's marks of each and listens to the panel model
  /// from now on. Asks the module: the user-interface thread's alone.
  PageState(const ModuleApi& api, PanelFeed& feed);
  ~PageState();
  PageState(const PageState&) = delete;
  PageState& operator=(const PageState&) = delete;

  /// Publishes one step with what changed since the last, when anything did; many setups at
  /// once go as a snapshot. words: the command that just ran, whose named setups may have new
  /// marks (none: the page's own action or a question); a command on the whole session
  /// (open, load, import, ...) checks every setup.
  void Step(const std::vector<std::string>& words = {});

  /// One line of the session's activity; a "message" is also a dialog until dismissed.
  void Note(std::string kind, std::string text);
  void Dismiss(std::uint64_t message);
  /// Returns the question's id.
  std::uint64_t OpenQuestion(std::u16string text);
  void CloseQuestion();
  void End();
  /// A page asked for a setup to be current: the next step says which one is, changed or not,
  /// so that the page knows its choice was taken.
  void Selected() { selected_ = true; }

  /// The revision of the master-file setup of that name as the pages last heard of it; 0 when
  /// there is none.
  std::uint64_t Revision(std::string_view masterName);

  /// A page's query: "snapshot", "values" of (group, library, name), "history" of a name, "why" of
  /// a name and a property, "diff" of two sides (group, library, name, version each). Nothing when
  /// there is no such setup.
  std::optional<std::string> Answer(const PanelFeed::Query& query);

 private:
  using RenderSetup = Teskor::RenderSetup::ViewModel::RenderSetup;
  struct Entry {
    SetupMarks marks;
    std::uint64_t revision = 1;
  };
  enum class ChangeKind { Added, Removed, Renamed };
  struct Change {
    ChangeKind kind = ChangeKind::Added;
    const RenderSetup* setup = nullptr;  // Added: null once removed again
    Teskor::RenderSetup::ViewModel::Group group{};
    std::u16string library;
    std::u16string name;
    std::u16string to;
  };

  void OnModelChange(const Teskor::RenderSetup::ViewModel::ModelChange& change);
  SetupMarks MarksOf(const RenderSetup& setup, const ornhost::Drift* drift) const;
  /// New marks for these master-file setups (every one when all); returns those that changed.
  std::vector<const RenderSetup*> Recheck(const std::vector<const RenderSetup*>* some);
  std::string Snapshot();
  std::string ValuesOf(const RenderSetup& setup);
  void SessionChange(std::string json);

  const ModuleApi& api_;
  PanelFeed& feed_;
  std::unordered_map<const RenderSetup*, Entry> entries_;
  // Since the last step.
  std::vector<Change> changes_;
  std::unordered_set<const RenderSetup*> valuesChanged_;
  std::unordered_set<const RenderSetup*> touched_;
  bool cleared_ = false;
  bool selected_ = false;
  std::vector<std::string> sessionChanges_;
  // As the pages were last told.
  std::optional<std::u16string> masterFile_;
  std::string deleted_ = "[]";
  // Group, library and name of the current setup; empty: none.
  std::u16string current_;
  // The session's parts.
  std::optional<PanelDialog> question_;
  std::deque<PanelDialog> messages_;
  std::deque<PanelEvent> activity_;
  bool ended_ = false;
  std::uint64_t nextId_ = 1;
};

}  // namespace ornr::workbench
