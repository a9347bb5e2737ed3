// The report as JSON (docs/audit-report.schema.json): the files as they come, then the run and
// its totals.
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <utility>

#include "audit/Report.h"
#include "support/OneLine.h"

namespace ornr::audit {

namespace {

using nlohmann::ordered_json;

std::string Text(const ordered_json& value) {
  // A setup name is UTF-16 and may hold half a surrogate pair: such a unit becomes U+FFFD, as
  // does a byte of a path that is not UTF-8 (pathBytes has it).
  return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

// A path as text, and as its bytes when they are not UTF-8, so that two such paths read apart.
ordered_json PathJson(const std::string& path) {
  ordered_json json = {{"path", path}};
  if (std::string bytes = RecoverableBytes(path); !bytes.empty()) json["pathBytes"] = bytes;
  return json;
}

ordered_json Counts(const StateCounts& counts) {
  ordered_json object = ordered_json::object();
  for (std::size_t i = 0; i < kSetupStateCount; ++i) {
    object[StateKey(static_cast<SetupState>(i))] = counts[i];
  }
  return object;
}

const char* FixActionKey(FixAction action) {
  switch (action) {
    case FixAction::NothingToDo:
      return "nothing to do";
    case FixAction::Merge:
      return "merge";
    case FixAction::Undecided:
      return "conflicts to decide";
    case FixAction::NoLibrary:
      return "library setup gone";
    case FixAction::Locks:
      return "put back locks";
    case FixAction::None:
      break;
  }
  return "";
}

ordered_json SetupJson(const SetupFinding& setup) {
  ordered_json json = {{"name", setup.name}, {"state", StateKey(setup.state)}};
  if (!setup.libraryFile.empty()) {
    ordered_json library = {
        {"file", setup.libraryFile}, {"path", setup.libraryPath}, {"setup", setup.librarySetup}};
    if (!setup.takenAt.empty()) library["takenAt"] = setup.takenAt;
    json["library"] = std::move(library);
  }
  if (!setup.reason.empty()) json["reason"] = setup.reason;
  if (setup.conflicts > 0) json["conflicts"] = setup.conflicts;
  if (!setup.properties.empty()) {
    const bool sameName = setup.state == SetupState::SameNameDiffers;
    ordered_json properties = ordered_json::array();
    for (const PropertyFinding& property : setup.properties) {
      ordered_json row = {{"property", property.property},
                          {"state", sameName ? "differs" : ornhost::DriftStateName(property.state)},
                          {"here", property.here}};
      if (!sameName) row["base"] = property.base;
      row["library"] = property.library;
      properties.push_back(std::move(row));
    }
    json["properties"] = std::move(properties);
  }
  if (setup.lockedValues > 0) json["lockedValues"] = setup.lockedValues;
  if (!setup.locks.empty()) {
    ordered_json locks = ordered_json::array();
    for (const LockFinding& lock : setup.locks) {
      ordered_json row = {{"property", lock.property},
                          {"here", lock.here},
                          {"library", lock.library},
                          {"libraryFile", lock.libraryFile},
                          {"librarySetup", lock.librarySetup},
                          {"reason", lock.reason},
                          {"changed", lock.changed}};
      if (lock.override) {
        ordered_json override = {{"reason", lock.override->reason}};
        if (!lock.override->madeBy.empty()) override["madeBy"] = lock.override->madeBy;
        if (!lock.override->madeAt.empty()) override["madeAt"] = lock.override->madeAt;
        row["override"] = std::move(override);
      }
      locks.push_back(std::move(row));
    }
    json["locks"] = std::move(locks);
  }
  if (setup.fix.action != FixAction::None) {
    ordered_json fix = {{"action", FixActionKey(setup.fix.action)}};
    if (setup.fix.action == FixAction::Merge) {
      fix["take"] = setup.fix.take;
      fix["keep"] = setup.fix.keep;
    }
    if (!setup.fix.undecided.empty()) fix["undecided"] = setup.fix.undecided;
    if (!setup.fix.locks.empty()) fix["locks"] = setup.fix.locks;
    if (!setup.fix.overridesDropped.empty()) fix["overridesDropped"] = setup.fix.overridesDropped;
    json["fix"] = std::move(fix);
  }
  return json;
}

class JsonReport final : public Report {
 public:
  explicit JsonReport(const std::filesystem::path& path) : file_(std::in_place, path) { Begin(); }
  explicit JsonReport(std::string& out) : text_(&out) { Begin(); }

  void File(const FileFinding& file) override {
    ordered_json json = PathJson(file.path);
    json["status"] = FileStatusKey(file.status);
    if (!file.reason.empty()) json["reason"] = file.reason;
    if (file.format > 0) json["format"] = file.format;
    if (file.status != FileStatus::Unreadable) {
      json["counts"] = Counts(file.counts);
      ordered_json setups = ordered_json::array();
      for (const SetupFinding& setup : file.setups) setups.push_back(SetupJson(setup));
      json["setups"] = std::move(setups);
    }
    if (file.fix != FixOutcome::None) {
      ordered_json fix = {{"outcome", FixOutcomeKey(file.fix)}, {"setups", file.fixedSetups}};
      if (!file.fixReason.empty()) fix["reason"] = file.fixReason;
      json["fix"] = std::move(fix);
    }
    Write(first_ ? "\n" : ",\n");
    first_ = false;
    Write(Text(json));
  }

  // Few, and listed after the files: kept until the end.
  void Skipped(const SkippedEntry& entry) override {
    ordered_json json = PathJson(entry.path);
    json["reason"] = entry.reason;
    skipped_.push_back(std::move(json));
  }

  void End(const RunInfo& run, const Totals& totals) override {
    ordered_json libraries = ordered_json::array();
    for (const RunInfo::Library& library : run.libraries) {
      libraries.push_back({{"file", library.file}, {"path", library.path}});
    }
    ordered_json runJson = {{"command", run.command},
                            {"folder", run.folder},
                            {"startedAt", run.startedAt},
                            {"finishedAt", run.finishedAt},
                            {"libraries", std::move(libraries)}};
    if (run.Fixes()) {
      runJson["fix"] = {{"mode", run.fix && run.fixLocks ? "merge,locks"
                                 : run.fix               ? "merge"
                                                         : "locks"},
                        {"take", run.take.empty() ? ordered_json() : ordered_json(run.take)},
                        {"apply", run.apply}};
      if (run.includeOverrides) runJson["fix"]["includeOverrides"] = true;
      // Only a run that wrote a file is a change set.
      if (run.apply && totals.filesFixed > 0 && !run.changeSet.empty()) {
        runJson["fix"]["changeSet"] = run.changeSet;
      }
    }
    if (run.strict) runJson["strict"] = true;
    ordered_json byStatus = ordered_json::object();
    for (std::size_t i = 0; i < kFileStatusCount; ++i) {
      byStatus[FileStatusKey(static_cast<FileStatus>(i))] = totals.files[i];
    }
    ordered_json properties = ordered_json::array();
    for (const auto& [name, counts] : totals.PropertiesByDrift()) {
      properties.push_back({{"property", name},
                            {"setups", counts.Total()},
                            {"changedHere", counts.changedHere},
                            {"changedInLibrary", counts.changedInLibrary},
                            {"conflict", counts.conflict},
                            {"sameName", counts.sameName}});
    }
    ordered_json totalsJson = {{"filesSeen", totals.done},
                               {"filesExpected", totals.expected},
                               {"designFiles", totals.Listed()},
                               {"byStatus", std::move(byStatus)},
                               {"drawingsWithDrift", totals.drawingsWithDrift},
                               {"librariesSkipped", totals.librariesSkipped},
                               {"otherFiles", totals.otherFiles},
                               {"skipped", totals.skipped},
                               {"setups", totals.setups},
                               {"states", Counts(totals.states)},
                               {"properties", std::move(properties)}};
    if (totals.ShowsLocks()) {
      totalsJson["locks"] = {{"lockedValues", totals.lockedValues},
                             {"changed", totals.locksChanged},
                             {"overridden", totals.overridden}};
    }
    if (run.Fixes()) {
      totalsJson["fix"] = {{"files", totals.filesFixed},
                           {"setups", totals.setupsFixed},
                           {"filesSkipped", totals.filesSkipped},
                           {"setupsUndecided", totals.setupsUndecided}};
      if (run.fixLocks) totalsJson["fix"]["locksRestored"] = totals.locksRestored;
    }
    ordered_json tail = {{"partial", totals.partial}};
    if (totals.partial) tail["stoppedBy"] = totals.stopReason;
    tail["exitStatus"] = run.exitStatus;
    std::string text = first_ ? "]" : "\n]";
    text += ",\n\"skipped\": " + Text(skipped_);
    text += ",\n\"run\": " + Text(runJson) + ",\n\"totals\": " + Text(totalsJson);
    for (const auto& [key, value] : tail.items()) {
      text += ",\n\"" + key + "\": " + Text(value);
    }
    Write(text + "\n}\n");
    if (file_) file_->Commit();
  }

 private:
  void Begin() { Write("{\n\"report\": \"rsm-audit\",\n\"version\": 1,\n\"files\": ["); }
  void Write(std::string_view text) {
    if (file_) {
      file_->Write(text);
    } else {
      text_->append(text);
    }
  }

  std::optional<ReportFile> file_;
  std::string* text_ = nullptr;
  bool first_ = true;
  ordered_json skipped_ = ordered_json::array();
};

}  // namespace

std::unique_ptr<Report> MakeJsonReport(const std::filesystem::path& path) {
  return std::make_unique<JsonReport>(path);
}

std::unique_ptr<Report> MakeJsonReport(std::string& out) {
  return std::make_unique<JsonReport>(out);
}

}  // namespace ornr::audit
