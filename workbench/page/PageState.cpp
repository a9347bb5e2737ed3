#include "workbench/page/PageState.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <string_view>
#include <utility>

#include "host/SessionMgr.h"
#include "support/Utf.h"
#include "workbench/page/PageHistory.h"
#include "workbench/page/PageSaved.h"
#include "workbench/page/PageStandards.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::ModelChange;
using Teskor::RenderSetup::ViewModel::RenderSetup;
using Teskor::RenderSetup::ViewModel::RenderSetupViewModel;

// Commands that may change any setup's marks: each is followed by a look at every setup.
constexpr std::array<std::string_view, 9> kSessionWide = {
    "open", "close", "library", "refresh", "init", "release", "load", "import", "upgrade"};
// More changed setups than this in one step go to the pages as a snapshot.
constexpr std::size_t kManyChanges = 200;
constexpr std::size_t kActivityKept = 40;

RenderSetupViewModel& Model() {
  return MainPanel::Instance().ViewModel();
}

std::optional<std::u16string> MasterFileName() {
  auto* master = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  if (master == nullptr) return std::nullopt;
  return std::u16string(master->GetFileName().str());
}

std::u16string KeyOf(const RenderSetup* setup) {
  if (setup == nullptr) return {};
  const bool master = setup->GetGroup() == Group::MasterFile;
  return (master ? u"m" : u"l") + (master ? u"" : setup->ListedIn) + u'\0' +
         setup->Name().value_or(u"");
}

void WriteDialog(JsonWriter& json, const PanelDialog& dialog) {
  json.BeginObject().Key("id").Number(static_cast<std::int64_t>(dialog.id));
  json.Key("text").String(dialog.text).EndObject();
}

void WriteEvent(JsonWriter& json, const PanelEvent& event) {
  json.BeginObject().Key("id").Number(static_cast<std::int64_t>(event.id));
  json.Key("kind").String(event.kind).Key("text").String(event.text).EndObject();
}

void WriteFile(JsonWriter& json, const std::optional<std::u16string>& file) {
  if (file) {
    json.String(*file);
  } else {
    json.Null();
  }
}

}  // namespace

PageState::PageState(const ModuleApi& api, PanelFeed& feed) : api_(api), feed_(feed) {
  for (const Group group : {Group::MasterFile, Group::Library}) {
    for (const auto& setup : Model().Setups(group)) entries_[setup.get()];
  }
  Recheck(nullptr);
  masterFile_ = MasterFileName();
  current_ = KeyOf(Model().CurrentRenderSetup());
  Model().SetModelObserver([this](const ModelChange& change) { OnModelChange(change); });
}

PageState::~PageState() {
  Model().SetModelObserver(nullptr);
}

void PageState::OnModelChange(const ModelChange& change) {
  const RenderSetup* setup = change.setup;
  switch (change.kind) {
    case ModelChange::Kind::Added:
      entries_[setup];
      changes_.push_back({ChangeKind::Added,
                          setup,
                          setup->GetGroup(),
                          setup->ListedIn,
                          setup->Name().value_or(u""),
                          {}});
      touched_.insert(setup);
      break;
    case ModelChange::Kind::Updated:
    case ModelChange::Kind::Edited:
      valuesChanged_.insert(setup);
      touched_.insert(setup);
      break;
    case ModelChange::Kind::Renamed:
      // One that came since the last step is told of under the name it has then.
      if (std::none_of(changes_.begin(), changes_.end(), [&](const Change& c) {
            return c.kind == ChangeKind::Added && c.setup == setup;
          })) {
        changes_.push_back({ChangeKind::Renamed, setup, setup->GetGroup(), setup->ListedIn,
                            std::u16string(change.oldName), setup->Name().value_or(u"")});
      }
      touched_.insert(setup);
      break;
    case ModelChange::Kind::Removed: {
      // One that came and went since the last step was never shown: nothing to tell of it.
      const bool cameSinceLastStep = std::any_of(changes_.begin(), changes_.end(), [&](auto& c) {
        return c.kind == ChangeKind::Added && c.setup == setup;
      });
      if (cameSinceLastStep) {
        std::erase_if(changes_, [setup](const Change& c) { return c.setup == setup; });
      } else {
        for (Change& c : changes_) {
          if (c.setup == setup) c.setup = nullptr;
        }
        changes_.push_back({ChangeKind::Removed,
                            nullptr,
                            setup->GetGroup(),
                            setup->ListedIn,
                            setup->Name().value_or(u""),
                            {}});
      }
      valuesChanged_.erase(setup);
      touched_.erase(setup);
      entries_.erase(setup);
      break;
    }
    case ModelChange::Kind::CurrentChanged:
      break;
    case ModelChange::Kind::Cleared:
      changes_.clear();
      valuesChanged_.clear();
      touched_.clear();
      entries_.clear();
      cleared_ = true;
      break;
  }
}

SetupMarks PageState::MarksOf(const RenderSetup& setup, const ornhost::Drift* drift) const {
  const std::u16string name = setup.Name().value_or(u"");
  SetupMarks marks;
  marks.modified = api_.IsModified(name.c_str()) == 1;
  marks.matches = api_.MatchesToLibrarySetup(name.c_str());
  marks.newBorn = setup.NewBorn;
  if (drift != nullptr) marks.origin = OriginBadge::Of(*drift);
  return marks;
}

std::vector<const RenderSetup*> PageState::Recheck(const std::vector<const RenderSetup*>* some) {
  std::vector<const RenderSetup*> changed;
  const auto check = [&](const RenderSetup& setup, const ornhost::Drift* drift) {
    Entry& entry = entries_[&setup];
    SetupMarks marks = MarksOf(setup, drift);
    if (marks == entry.marks) return;
    entry.marks = std::move(marks);
    changed.push_back(&setup);
  };
  if (some != nullptr) {
    for (const RenderSetup* setup : *some) {
      std::optional<ornhost::Drift> drift;
      try {
        drift = ornhost::DriftOf(setup->Name().value_or(u""));
      } catch (const std::exception&) {
        // A record that cannot be read now: the setup shows without its origin.
      }
      check(*setup, drift ? &*drift : nullptr);
    }
    return changed;
  }
  std::map<std::u16string, ornhost::Drift> drifts;
  try {
    drifts = ornhost::AllDrift();
  } catch (const std::exception&) {
    // A file that cannot be read now still shows its setups, without their origins.
  }
  for (const auto& setup : Model().Setups(Group::MasterFile)) {
    const auto drift = drifts.find(setup->Name().value_or(u""));
    check(*setup, drift != drifts.end() ? &drift->second : nullptr);
  }
  return changed;
}

void PageState::Step(const std::vector<std::string>& words) {
  auto& model = Model();
  bool everySetup = cleared_;
  if (!words.empty()) {
    for (const std::string_view wide : kSessionWide) everySetup = everySetup || words[0] == wide;
    for (std::size_t i = 1; i < words.size(); ++i) {
      if (const RenderSetup* setup = model.GetSetupFromCurrentZel(Utf8ToUtf16(words[i]))) {
        touched_.insert(setup);
      }
    }
  }
  std::unordered_set<const RenderSetup*> added;
  for (const Change& change : changes_) {
    if (change.kind == ChangeKind::Added && change.setup != nullptr) added.insert(change.setup);
  }
  std::vector<const RenderSetup*> masters;
  for (const RenderSetup* setup : touched_) {
    if (setup->GetGroup() == Group::MasterFile) masters.push_back(setup);
  }
  std::vector<const RenderSetup*> marked = Recheck(everySetup ? nullptr : &masters);
  std::erase_if(marked, [&added](const RenderSetup* setup) { return added.contains(setup); });
  for (const RenderSetup* setup : valuesChanged_) {
    if (!added.contains(setup)) ++entries_[setup].revision;
  }

  // Any command may delete or bring back a setup, or change how long deleted ones are kept.
  if (!words.empty() || cleared_) {
    std::string deleted = DeletedJson();
    if (deleted != deleted_) {
      SessionChange(R"({"type":"deleted","setups":)" + deleted + "}");
      deleted_ = std::move(deleted);
    }
  }
  const std::optional<std::u16string> masterFile = MasterFileName();
  const std::u16string current = KeyOf(model.CurrentRenderSetup());
  const bool many =
      cleared_ || changes_.size() + valuesChanged_.size() + marked.size() > kManyChanges;
  JsonWriter json;
  json.BeginObject();
  if (many) {
    json.Key("snapshot").Raw(Snapshot());
  } else {
    json.Key("changes").BeginArray();
    if (masterFile != masterFile_) {
      json.BeginObject().Key("type").String("masterFile").Key("file");
      WriteFile(json, masterFile);
      json.EndObject();
    }
    for (const Change& change : changes_) {
      json.BeginObject();
      switch (change.kind) {
        case ChangeKind::Added: {
          json.Key("type").String("added");
          WriteKeyMembers(json, *change.setup);
          const Entry& entry = entries_[change.setup];
          json.Key("setup");
          WriteRow(json, *change.setup, entry.revision,
                   change.group == Group::MasterFile ? &entry.marks : nullptr);
          break;
        }
        case ChangeKind::Removed:
          json.Key("type").String("removed");
          WriteKeyMembers(json, change.group, change.library, change.name);
          break;
        case ChangeKind::Renamed:
          json.Key("type").String("renamed");
          WriteKeyMembers(json, change.group, change.library, change.name);
          json.Key("to").String(change.to);
          break;
      }
      json.EndObject();
    }
    for (const RenderSetup* setup : valuesChanged_) {
      if (added.contains(setup)) continue;
      json.BeginObject().Key("type").String("values");
      WriteKeyMembers(json, *setup);
      json.Key("rev").Number(static_cast<std::int64_t>(entries_[setup].revision));
      // The setup on show comes with its values: a page showing it, as the one that just edited
      // it does, draws them without asking.
      if (setup == model.CurrentRenderSetup()) json.Key("data").Raw(ValuesOf(*setup));
      json.EndObject();
    }
    for (const RenderSetup* setup : marked) {
      json.BeginObject().Key("type").String("marks");
      WriteKeyMembers(json, *setup);
      const Entry& entry = entries_[setup];
      json.Key("setup");
      WriteRow(json, *setup, entry.revision, &entry.marks);
      json.EndObject();
    }
    if (current != current_ || selected_) {
      json.BeginObject().Key("type").String("current").Key("current");
      WriteKey(json, model.CurrentRenderSetup());
      json.EndObject();
    }
    for (const std::string& change : sessionChanges_) json.Raw(change);
    json.EndArray();
  }
  json.EndObject();

  const bool nothing = !many && changes_.empty() && valuesChanged_.empty() && marked.empty() &&
                       masterFile == masterFile_ && current == current_ && !selected_ &&
                       sessionChanges_.empty();
  changes_.clear();
  valuesChanged_.clear();
  touched_.clear();
  sessionChanges_.clear();
  cleared_ = false;
  selected_ = false;
  masterFile_ = masterFile;
  current_ = current;
  if (!nothing) feed_.Publish(json.Take());
}

std::string PageState::Snapshot() {
  auto& model = Model();
  JsonWriter json;
  json.BeginObject().Key("masterFile");
  WriteFile(json, MasterFileName());
  json.Key("current");
  WriteKey(json, model.CurrentRenderSetup());
  json.Key("master").BeginArray();
  for (const auto& setup : model.Setups(Group::MasterFile)) {
    const Entry& entry = entries_[setup.get()];
    WriteRow(json, *setup, entry.revision, &entry.marks);
  }
  json.EndArray();
  // Each library's setups under its file, the files in the order their first setup came.
  std::vector<std::u16string_view> files;
  std::unordered_map<std::u16string_view, std::vector<const RenderSetup*>> byFile;
  for (const auto& setup : model.Setups(Group::Library)) {
    auto [slot, inserted] = byFile.try_emplace(setup->ListedIn);
    if (inserted) files.push_back(setup->ListedIn);
    slot->second.push_back(setup.get());
  }
  json.Key("libraries").BeginArray();
  for (const std::u16string_view file : files) {
    json.BeginObject().Key("file").String(file).Key("setups").BeginArray();
    for (const RenderSetup* setup : byFile[file]) {
      WriteRow(json, *setup, entries_[setup].revision, nullptr);
    }
    json.EndArray().EndObject();
  }
  json.EndArray();
  json.Key("question");
  if (question_) {
    WriteDialog(json, *question_);
  } else {
    json.Null();
  }
  json.Key("messages").BeginArray();
  for (const PanelDialog& message : messages_) WriteDialog(json, message);
  json.EndArray();
  json.Key("activity").BeginArray();
  for (const PanelEvent& event : activity_) WriteEvent(json, event);
  json.EndArray();
  json.Key("ended").Bool(ended_);
  deleted_ = DeletedJson();
  json.Key("deleted").Raw(deleted_);
  WriteLabels(json);
  WriteDefaults(json);
  json.EndObject();
  return json.Take();
}

std::string PageState::ValuesOf(const RenderSetup& setup) {
  JsonWriter json;
  json.BeginObject();
  WriteKeyMembers(json, setup);
  json.Key("rev").Number(static_cast<std::int64_t>(entries_[&setup].revision));
  json.Key("values");
  WriteValues(json, setup);
  json.Key("origin");
  std::optional<ornhost::Drift> drift;
  if (setup.GetGroup() == Group::MasterFile) {
    try {
      drift = ornhost::DriftOf(setup.Name().value_or(u""));
    } catch (const std::exception&) {
      // Shown without its origin.
    }
  }
  WriteOrigin(json, drift ? &*drift : nullptr);
  if (setup.GetGroup() == Group::MasterFile) WriteSavedMembers(json, setup);
  json.Key("standards");
  WriteStandards(json, setup);
  json.EndObject();
  return json.Take();
}

std::optional<std::string> PageState::Answer(const PanelFeed::Query& query) {
  // What was left unpublished goes first, so that an answer is that of the last step.
  Step();
  if (query.what == "snapshot") return Snapshot();
  if (query.what == "history" && query.args.size() == 1) return HistoryJson(query.args[0]);
  if (query.what == "why" && query.args.size() == 2) return WhyJson(query.args[0], query.args[1]);
  if (query.what == "diff" && query.args.size() == 8) {
    DiffSide sides[2];
    for (std::size_t i = 0; i < 2; ++i) {
      const std::string& number = query.args[i * 4 + 3];
      sides[i] = {query.args[i * 4], query.args[i * 4 + 1], query.args[i * 4 + 2], 0};
      const auto [end, error] =
          std::from_chars(number.data(), number.data() + number.size(), sides[i].version);
      if (error != std::errc() || end != number.data() + number.size()) {
        return R"({"error":"no such version"})";
      }
    }
    return DiffJson(sides[0], sides[1]);
  }
  if (query.what != "values" || query.args.size() != 3) return std::nullopt;
  auto& model = Model();
  const std::u16string name = Utf8ToUtf16(query.args[2]);
  const RenderSetup* setup = query.args[0] == "master"
                                 ? model.GetSetupFromCurrentZel(name)
                                 : model.GetLibrarySetup(Utf8ToUtf16(query.args[1]), name);
  if (setup == nullptr) return std::nullopt;
  return ValuesOf(*setup);
}

std::uint64_t PageState::Revision(std::string_view masterName) {
  const RenderSetup* setup = Model().GetSetupFromCurrentZel(Utf8ToUtf16(masterName));
  const auto entry = setup != nullptr ? entries_.find(setup) : entries_.end();
  return entry != entries_.end() ? entry->second.revision : 0;
}

void PageState::SessionChange(std::string json) {
  sessionChanges_.push_back(std::move(json));
}

void PageState::Note(std::string kind, std::string text) {
  const bool message = kind == "message";
  activity_.push_back({nextId_++, std::move(kind), std::move(text)});
  while (activity_.size() > kActivityKept) activity_.pop_front();
  JsonWriter json;
  json.BeginObject().Key("type").String("activity").Key("event");
  WriteEvent(json, activity_.back());
  json.EndObject();
  SessionChange(json.Take());
  if (!message) return;
  messages_.push_back({nextId_++, Utf8ToUtf16(activity_.back().text)});
  JsonWriter dialog;
  dialog.BeginObject().Key("type").String("message").Key("message");
  WriteDialog(dialog, messages_.back());
  dialog.EndObject();
  SessionChange(dialog.Take());
}

void PageState::Dismiss(std::uint64_t message) {
  if (std::erase_if(messages_, [message](const PanelDialog& m) { return m.id == message; }) == 0) {
    return;
  }
  JsonWriter json;
  json.BeginObject().Key("type").String("dismissed").Key("id");
  json.Number(static_cast<std::int64_t>(message)).EndObject();
  SessionChange(json.Take());
}

std::uint64_t PageState::OpenQuestion(std::u16string text) {
  question_ = PanelDialog{nextId_++, std::move(text)};
  JsonWriter json;
  json.BeginObject().Key("type").String("question").Key("question");
  WriteDialog(json, *question_);
  json.EndObject();
  SessionChange(json.Take());
  return question_->id;
}

void PageState::CloseQuestion() {
  question_.reset();
  SessionChange(R"({"type":"question","question":null})");
}

void PageState::End() {
  ended_ = true;
  question_.reset();
  SessionChange(R"({"type":"ended"})");
}

}  // namespace ornr::workbench
