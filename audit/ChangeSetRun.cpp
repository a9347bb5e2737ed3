#include "audit/ChangeSetRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "audit/Deploy.h"
#include "audit/ProjectWalk.h"
#include "audit/Report.h"
#include "audit/ReportStyle.h"
#include "audit/StopSignals.h"
#include "host/controls/HostControls.h"
#include "host/provenance/ChangeSets.h"
#include "host/provenance/LibraryShelf.h"
#include "host/store/VersionTable.h"
#include "support/OneLine.h"
#include "support/Utf.h"

namespace ornr::audit {

namespace {

// A drawing's entry in the report: its path as text, and as its bytes when they are not UTF-8,
// as the audit's report has them.
nlohmann::json DrawingEntry(const std::filesystem::path& path) {
  nlohmann::json entry = {{"path", path.string()}};
  if (std::string bytes = RecoverableBytes(path.string()); !bytes.empty()) {
    entry["pathBytes"] = std::move(bytes);
  }
  return entry;
}

constexpr int kSkippedOrConflicts = 1;
constexpr int kUnreadable = 3;
// How far the workers may run ahead of the file being told: the memory of what waits to be told.
constexpr std::size_t kFilesAheadPerWorker = 16;

std::string CountOf(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string SetupName(const std::u16string& name) {
  return OneLineText("\"" + Utf16ToUtf8(name) + "\"");
}

bool IsLibrary(const std::filesystem::path& path, const std::vector<std::filesystem::path>& given) {
  if (NamedAsLibrary(path)) return true;
  std::error_code ec;
  return std::any_of(given.begin(), given.end(), [&](const std::filesystem::path& library) {
    return std::filesystem::equivalent(path, library, ec);
  });
}

const char* DeployKindKey(DeployRow::Kind kind) {
  switch (kind) {
    case DeployRow::Kind::Library:
      return "library";
    case DeployRow::Kind::Replaced:
      return "replaced";
    case DeployRow::Kind::Locked:
      return "locked";
    case DeployRow::Kind::Kept:
      return "kept";
    case DeployRow::Kind::Decided:
      return "decided";
    case DeployRow::Kind::Undecided:
      return "undecided";
  }
  return "";
}

nlohmann::json DeployedJson(const DeployedSetup& setup) {
  nlohmann::json values = nlohmann::json::array();
  for (const DeployRow& row : setup.rows) {
    values.push_back({{"property", row.property},
                      {"kind", DeployKindKey(row.kind)},
                      {"from", row.here},
                      {"to", row.to},
                      {"library", row.library}});
  }
  return {{"name", Utf16ToUtf8(setup.name)},
          {"action", setup.created   ? "create"
                     : setup.overlay ? "overlay"
                                     : "by name"},
          {"values", values}};
}

nlohmann::json UndoneJson(const ornhost::UndoneSetup& setup) {
  nlohmann::json values = nlohmann::json::array();
  for (const ornhost::UndoneValue& value : setup.values) {
    values.push_back({{"property", value.property},
                      {"kind", !value.conflict ? "restore"
                               : value.changes ? "conflict-restored"
                                               : "conflict-kept"},
                      {"from", value.now},
                      {"to", value.changes ? value.before : value.now},
                      {"written", value.written}});
  }
  nlohmann::json entry = {
      {"name", Utf16ToUtf8(setup.name)},
      {"action", ornhost::UndoActionKey(setup.action)},
      {"values", values},
      {"provenance", setup.standingConflict
                         ? (setup.standingChanges ? "conflict-restored" : "conflict-kept")
                     : setup.standingChanges ? "restore"
                                             : "unchanged"}};
  if (!setup.reason.empty()) entry["reason"] = setup.reason;
  return entry;
}

std::string CsvCell(const std::string& text) {
  // A text a spreadsheet would take as a formula stays text.
  std::string cell =
      !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos
          ? "'" + text
          : text;
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// The files of the JSON report as CSV: one row a value, or a setup or file without values.
std::string CsvOfFiles(const nlohmann::json& files) {
  std::string csv = "file,outcome,setup,action,property,kind,from,to,library,written,reason\r\n";
  const auto text = [](const nlohmann::json& object, const char* key) {
    return CsvCell(object.contains(key) ? object[key].get<std::string>() : std::string());
  };
  for (const auto& file : files) {
    const std::string head = text(file, "path") + "," + text(file, "outcome") + ",";
    if (file["setups"].empty()) csv += head + ",,,,,,,," + text(file, "reason") + "\r\n";
    for (const auto& setup : file["setups"]) {
      const std::string row = head + text(setup, "name") + "," + text(setup, "action") + ",";
      const std::string reason =
          setup.contains("reason") ? text(setup, "reason") : text(file, "reason");
      if (setup["values"].empty()) csv += row + ",,,,,," + reason + "\r\n";
      for (const auto& value : setup["values"]) {
        csv += row + text(value, "property") + "," + text(value, "kind") + "," +
               text(value, "from") + "," + text(value, "to") + "," + text(value, "library") + "," +
               text(value, "written") + "," + reason + "\r\n";
      }
    }
  }
  return csv;
}

std::string HtmlText(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// What happens to a setup as a whole, in words; the JSON and CSV keep the key.
std::string ActionWords(const std::string& action) {
  if (action == "create") return "added: a full copy of the library setup";
  if (action == "delete") return "deleted: the change set had added it";
  if (action == "recreate") return "added again: the change set had deleted it";
  if (action == "nothing to do") return "nothing to undo";
  return action;
}

// The run's totals as the audit report's cards: what a reader checks before the drawings.
std::string TotalsCards(const nlohmann::json& report) {
  const nlohmann::json& totals = report["totals"];
  const auto count = [&](const char* key) {
    return totals.contains(key) && totals[key].is_number_integer() ? totals[key].get<long long>()
                                                                   : 0LL;
  };
  long long values = 0;
  for (const auto& file : report["files"]) {
    for (const auto& setup : file["setups"])
      values += static_cast<long long>(setup["values"].size());
  }
  const bool written = report["apply"].get<bool>();
  const auto card = [](long long figure, const std::string& label) {
    return "<div class=\"card\"><div class=\"figure\">" + std::to_string(figure) +
           "</div><div class=\"label\">" + label + "</div></div>";
  };
  return "<section aria-labelledby=\"totals\">\n<h2 id=\"totals\">Totals</h2>\n<div "
         "class=\"cards\">" +
         card(count("files"), written ? "drawings changed" : "drawings to change") +
         card(count("setups"), written ? "setups changed" : "setups to change") +
         card(values, written ? "values written" : "values to write") +
         card(count("created"), written ? "setups created" : "setups to create") +
         card(count("conflicts"), "conflicts left") + card(count("skipped"), "drawings skipped") +
         "</div>\n</section>\n";
}

// The report as one page with the audit report's style: the totals, then drawing by drawing a
// table of the values from what to what.
std::string HtmlOfReport(const std::string& title, const nlohmann::json& report) {
  const auto text = [](const nlohmann::json& object, const char* key) {
    return HtmlText(object.contains(key) && object[key].is_string() ? object[key].get<std::string>()
                                                                    : std::string());
  };
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n<title>" +
      HtmlText(title) + "</title>\n<style>" + std::string(ReportStyleSheet()) +
      "</style>\n</head>\n<body>\n<header>\n<h1>" + HtmlText(title) + "</h1>\n<p class=\"meta\">" +
      text(report, "command") + "</p>\n<p class=\"meta\">" + text(report, "startedAt") +
      (report["apply"].get<bool>() ? ", written" : ", a preview: nothing was written") + "</p>\n";
  if (report["partial"].get<bool>()) {
    html +=
        "<p class=\"banner\" role=\"status\">Partial report: stopped before every file was "
        "done.</p>\n";
  }
  if (report["changeSet"].is_string()) {
    html += "<p class=\"meta\">Change set " + text(report, "changeSet") + "</p>\n";
  }
  html += "</header>\n<main>\n" + TotalsCards(report) +
          "<section aria-labelledby=\"drawings\">\n<h2 id=\"drawings\">Drawings</h2>\n";
  if (report["files"].empty()) html += "<p>Nothing to change.</p>\n";
  for (const auto& file : report["files"]) {
    html += "<article class=\"drawing\">\n<header><h3>" + text(file, "path") + "</h3><p>" +
            text(file, "outcome") +
            (file.contains("reason") ? ": " + text(file, "reason") : std::string()) +
            "</p></header>\n";
    if (file["setups"].empty()) {
      html += "</article>\n";
      continue;
    }
    html +=
        "<div class=\"table-wrap\"><table class=\"setups\"><caption class=\"sr-only\">Values of " +
        text(file, "path") +
        "</caption><thead><tr><th scope=\"col\">Setup</th><th scope=\"col\">Property</th>"
        "<th scope=\"col\">From</th><th scope=\"col\">To</th><th scope=\"col\">How</th>"
        "</tr></thead><tbody>\n";
    for (const auto& setup : file["setups"]) {
      if (setup["values"].empty()) {
        html += "<tr><td>" + text(setup, "name") + "</td><td colspan=\"4\">" +
                HtmlText(ActionWords(setup["action"].get<std::string>())) +
                (setup.contains("reason") ? ": " + text(setup, "reason") : std::string()) +
                "</td></tr>\n";
      }
      for (const auto& value : setup["values"]) {
        html += "<tr><td>" + text(setup, "name") + "</td><td>" + text(value, "property") +
                "</td><td>" + text(value, "from") + "</td><td>" + text(value, "to") + "</td><td>" +
                text(value, "kind") + "</td></tr>\n";
      }
    }
    html += "</tbody></table></div>\n</article>\n";
  }
  return html + "</section>\n</main>\n</body>\n</html>\n";
}

class ChangeSetRun {
 public:
  ChangeSetRun(const AuditOptions& options, Console& console, const std::atomic<bool>& stop)
      : options_(options), console_(console), stop_(stop) {}

  /// False, having told why, when the report named cannot be written there.
  bool OpenReport() {
    try {
      if (options_.json) json_.emplace(*options_.json);
      if (options_.csv) csv_.emplace(*options_.csv);
      if (options_.html) html_.emplace(*options_.html);
    } catch (const ReportError& error) {
      console_.Err(std::string("rsm-audit: ") + error.what() + "\nTry \"rsm-audit --help\".");
      return false;
    }
    return true;
  }

  // Hands each design file under the PATHs to each; a file that cannot be read is told and
  // counted. False when stopped before the end.
  bool EachFile(const std::function<void(const std::filesystem::path&)>& each) {
    ProjectWalk walk(options_.paths);
    for (ProjectEntry entry; walk.Next(entry);) {
      if (stop_) return false;
      if (!entry.skipped.empty()) continue;
      if (!entry.folderProblem.empty()) {
        Unreadable(entry.path, entry.folderProblem);
        continue;
      }
      if (IsLibrary(entry.path, options_.libraries)) continue;
      if (!LooksLikeSqliteFile(entry.path)) {
        if (entry.named) Unreadable(entry.path, "is not a design file");
        continue;
      }
      try {
        each(entry.path);
      } catch (const ornhost::DesignFileError& error) {
        if (!entry.named && error.Reason() == "is not a design file") continue;
        Unreadable(entry.path, error.Reason());
      }
    }
    return true;
  }

  /// What a worker made of one file, told here in the order of the walk; empty for nothing to tell.
  using Told = std::function<void()>;

  // The same on options' jobs workers: work runs on a worker for each design file and what it
  // returns here, file after file in the order of the walk, with the progress shown as the
  // audit shows it. Stopped, the files being worked on are finished and told; false then.
  bool EachFileOnEveryCore(const std::function<Told(const std::filesystem::path&)>& work) {
    std::size_t expected = ProjectWalk::Count(options_.paths);
    ProjectWalk walk(options_.paths);
    const unsigned jobs =
        options_.jobs > 0 ? options_.jobs : std::max(1u, std::thread::hardware_concurrency());
    struct Shared {
      std::mutex mutex;
      std::condition_variable workerWait;
      std::condition_variable toldReady;
      bool walkDone = false;
      std::atomic<bool> abandon{false};
      std::size_t next = 0;
      std::size_t told = 0;
      std::map<std::size_t, std::pair<bool, Told>> done;
      unsigned running = 0;
    } shared;
    shared.running = jobs;
    const std::size_t window = jobs * kFilesAheadPerWorker;
    const auto ended = [&] { return stop_ || shared.abandon; };
    const auto worker = [&] {
      std::unique_lock lock(shared.mutex);
      for (;;) {
        shared.workerWait.wait(
            lock, [&] { return ended() || shared.walkDone || shared.next < shared.told + window; });
        if (ended() || shared.walkDone) break;
        ProjectEntry entry;
        if (!walk.Next(entry)) {
          shared.walkDone = true;
          break;
        }
        const std::size_t index = shared.next++;
        lock.unlock();
        // Skipped entries are no file of the count.
        const bool counted = entry.skipped.empty();
        Told told = WorkOn(entry, work);
        lock.lock();
        shared.done.emplace(index, std::pair(counted, std::move(told)));
        shared.toldReady.notify_one();
      }
      --shared.running;
      shared.toldReady.notify_one();
      shared.workerWait.notify_all();
    };
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(worker);
    std::size_t files = 0;
    std::exception_ptr failure;
    const auto tell = [&](std::pair<bool, Told>& each) {
      files += each.first ? 1 : 0;
      if (!each.second || failure) return;
      try {
        each.second();
      } catch (...) {
        // Ends the run as one thread would have: the files being worked on are finished first.
        failure = std::current_exception();
        shared.abandon = true;
      }
    };
    console_.Progress(0, expected);
    {
      std::unique_lock lock(shared.mutex);
      for (;;) {
        // Wakes for each file done, and now and then to redraw the progress and notice a stop.
        shared.toldReady.wait_for(lock, std::chrono::milliseconds(100));
        if (ended()) shared.workerWait.notify_all();
        for (auto next = shared.done.find(shared.told); next != shared.done.end();
             next = shared.done.find(shared.told)) {
          auto each = std::move(next->second);
          shared.done.erase(next);
          ++shared.told;
          lock.unlock();
          tell(each);
          lock.lock();
          shared.workerWait.notify_all();
        }
        // The walk can yield more than counted when files came meanwhile.
        expected = std::max(expected, files);
        lock.unlock();
        console_.Progress(files, expected);
        lock.lock();
        if (shared.running == 0) break;
      }
    }
    for (std::thread& each : workers) each.join();
    for (auto& [index, each] : shared.done) tell(each);
    console_.EndProgress();
    if (failure) std::rethrow_exception(failure);
    // Stopped with nothing left to work on is no partial run.
    ProjectEntry left;
    return !stop_ || shared.walkDone || !walk.Next(left);
  }

  int List() {
    struct Listed {
      ornhost::detail::ChangeSetHeader header;
      std::size_t files = 0;
      std::size_t setups = 0;
      std::size_t values = 0;
    };
    std::map<std::string, Listed> found;
    const bool whole = EachFile([&](const std::filesystem::path& path) {
      for (const auto& changeSet : ornhost::ChangeSetsInFile(path)) {
        Listed& listed = found[changeSet.header.id];
        listed.header = changeSet.header;
        ++listed.files;
        listed.setups += changeSet.setups.size();
        // Values changed in setups that were there before and after; a setup created or deleted
        // counts as a setup.
        for (const auto& setup : changeSet.setups) {
          if (!setup.Created() && !setup.Deleted()) listed.values += setup.values.size();
        }
      }
    });
    const auto row = [](const std::string& id, const std::string& when, std::string by,
                        const std::string& files, const std::string& setups,
                        const std::string& values, const std::string& command) {
      const auto right = [](const std::string& text, std::size_t width) {
        return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
      };
      by.resize(std::max<std::size_t>(by.size(), 10), ' ');
      return id + "  " + when + "  " + by + right(files, 6) + right(setups, 8) + right(values, 8) +
             "  " + command;
    };
    if (found.empty()) {
      console_.Out("no change sets");
    } else {
      console_.Out(row("CHANGE SET     ", "MADE (UTC)          ", "BY", "FILES", "SETUPS", "VALUES",
                       "COMMAND"));
    }
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
      const Listed& listed = it->second;
      console_.Out(row(it->first, listed.header.madeAt, OneLineText(listed.header.madeBy),
                       std::to_string(listed.files), std::to_string(listed.setups),
                       std::to_string(listed.values), OneLineText(listed.header.command)));
    }
    return End(whole, false);
  }

  int Show() {
    std::size_t files = 0;
    std::size_t setups = 0;
    std::size_t values = 0;
    // An id given in part stands for the first change set found that it begins.
    std::string id;
    const bool whole = EachFile([&](const std::filesystem::path& path) {
      for (const auto& changeSet : ornhost::ChangeSetsInFile(path)) {
        if (!changeSet.header.id.starts_with(options_.changeSet)) continue;
        if (id.empty()) id = changeSet.header.id;
        if (changeSet.header.id != id) continue;
        if (files++ == 0) {
          console_.Out("change set " + changeSet.header.id + ", made " + changeSet.header.madeAt +
                       " by " + OneLineText(changeSet.header.madeBy) + ":");
          console_.Out("  " + OneLineText(changeSet.header.command));
        }
        console_.Out(path.string());
        for (const auto& setup : changeSet.setups) {
          ++setups;
          const std::u16string& name = setup.nameAfter ? *setup.nameAfter : *setup.nameBefore;
          if (setup.Created() || setup.Deleted()) {
            console_.Out("  " + SetupName(name) + (setup.Created() ? " created" : " deleted"));
            continue;
          }
          for (const auto& value : setup.values) {
            ++values;
            console_.Out("  " + SetupName(name) + " " + ornhost::detail::SettingKey(value.field) +
                         " " + ornhost::ChangeSetValueText(value.field, *value.before) + " -> " +
                         ornhost::ChangeSetValueText(value.field, *value.after));
          }
          if (setup.standingBefore != setup.standingAfter) {
            console_.Out("  " + SetupName(name) + " where it came from (merge base, overlays)");
          }
        }
      }
    });
    if (files == 0) {
      console_.Err("rsm-audit: no file under the PATHs holds change set " + options_.changeSet);
      return End(whole, true);
    }
    console_.Out("totals: " + CountOf(files, "file", "files") + ", " +
                 CountOf(setups, "setup", "setups") + ", " + CountOf(values, "value", "values"));
    return End(whole, false);
  }

  int Undo(const std::vector<std::string>& command) {
    const ornhost::detail::ChangeSetHeader undo{ornhost::detail::NewChangeSetId(),
                                                ornhost::detail::UtcNow(),
                                                ornhost::detail::OsUser(), ShellCommand(command)};
    std::size_t files = 0;
    std::size_t setups = 0;
    std::size_t conflicts = 0;
    std::size_t skippedFiles = 0;
    std::string undoneAs;
    nlohmann::json undoes;
    if (!OpenReport()) return 2;
    // Given in part, the id stands for the change set it begins in the first file that holds
    // one, as the walk goes: known before the files are worked on at once.
    const std::string id = FullId(options_.undo);
    const bool whole = EachFileOnEveryCore([&](const std::filesystem::path& path) -> Told {
      ornhost::detail::DesignFile file(
          path, options_.apply ? ornhost::detail::DesignFile::Access::WriteExisting
                               : ornhost::detail::DesignFile::Access::ReadOnly);
      // Planned first, then written through the same opening: a file without the change set is
      // not written, and one that cannot be read is told apart from one that cannot be written.
      ornhost::UndoResult result =
          ornhost::UndoChangeSet(file, id, options_.takeChangeSet, nullptr);
      if (!result.found) return {};
      std::optional<std::string> skipped;
      if (options_.apply && result.Changing() > 0) {
        try {
          result = ornhost::UndoChangeSet(file, id, options_.takeChangeSet, &undo);
        } catch (const ornhost::DesignFileError& error) {
          skipped = error.Reason();
        }
      }
      return [&, path, result = std::move(result), skipped = std::move(skipped)] {
        undoes = {{"id", result.changeSet.id},
                  {"madeAt", result.changeSet.madeAt},
                  {"madeBy", result.changeSet.madeBy},
                  {"command", result.changeSet.command}};
        if (files == 0) {
          console_.Out("undo of change set " + result.changeSet.id + ", made " +
                       result.changeSet.madeAt + " by " + OneLineText(result.changeSet.madeBy) +
                       ":");
          console_.Out("  " + OneLineText(result.changeSet.command));
        }
        ++files;
        if (skipped) {
          ++skippedFiles;
          console_.Out(path.string() + ": skipped: " + *skipped);
          nlohmann::json entry = DrawingEntry(path);
          entry["outcome"] = "skipped";
          entry["reason"] = *skipped;
          entry["setups"] = nlohmann::json::array();
          for (const auto& setup : result.setups) entry["setups"].push_back(UndoneJson(setup));
          files_.push_back(std::move(entry));
          return;
        }
        if (!result.undoneAs.empty()) undoneAs = result.undoneAs;
        const std::size_t changing = result.Changing();
        {
          nlohmann::json entry = DrawingEntry(path);
          entry["outcome"] = changing == 0    ? "nothing to do"
                             : options_.apply ? "changed"
                                              : "would change";
          entry["setups"] = nlohmann::json::array();
          for (const auto& setup : result.setups) entry["setups"].push_back(UndoneJson(setup));
          files_.push_back(std::move(entry));
        }
        conflicts += result.Conflicts();
        setups += changing;
        const char* verb = options_.apply ? "changed " : "would change ";
        std::string line =
            path.string() + ": " +
            (changing == 0 ? "nothing to do" : verb + CountOf(changing, "setup", "setups"));
        if (result.Conflicts() > 0)
          line += ", " + CountOf(result.Conflicts(), "conflict", "conflicts");
        console_.Out(line);
        for (const ornhost::UndoneSetup& setup : result.setups) Tell(setup);
      };
    });
    const nlohmann::json none = {{"files", 0}, {"setups", 0}, {"conflicts", 0}, {"skipped", 0}};
    if (files == 0) {
      console_.Err("rsm-audit: no file under the PATHs holds change set " + options_.undo);
      return Report("undo", undo, "", nullptr, whole, none, End(whole, true));
    }
    std::string line = "undo: " + std::string(options_.apply ? "changed " : "would change ") +
                       CountOf(setups, "setup", "setups") + " in " +
                       CountOf(files, "design file", "design files");
    if (conflicts > 0) {
      line += "; " + CountOf(conflicts, "conflict", "conflicts") +
              (options_.takeChangeSet ? " put back all the same"
                                      : " left (--take change-set puts them back)");
    }
    if (skippedFiles > 0) line += "; " + CountOf(skippedFiles, "file", "files") + " skipped";
    if (!options_.apply && setups > 0) line += "; --apply writes the changes";
    console_.Out(line);
    if (!undoneAs.empty()) {
      console_.Out("change set: " + undoneAs + " (--undo " + undoneAs + " takes the undo back)");
    }
    const int status = End(whole, skippedFiles > 0 || (conflicts > 0 && !options_.takeChangeSet));
    return Report(
        "undo", undo, undoneAs, undoes, whole,
        {{"files", files}, {"setups", setups}, {"conflicts", conflicts}, {"skipped", skippedFiles}},
        status);
  }

  int Deploy(const std::vector<std::string>& command) {
    DeployRequest request;
    if (const auto problem = Source(request.source); !problem.empty()) {
      console_.Err("rsm-audit: " + problem + "\nTry \"rsm-audit --help\".");
      return 2;
    }
    request.targets = options_.linked       ? DeployTargets::Linked
                      : options_.everySetup ? DeployTargets::Every
                                            : DeployTargets::Named;
    for (const std::string& name : options_.to) request.names.push_back(Utf8ToUtf16(name));
    request.create = options_.create;
    request.take = options_.take;
    const ornhost::detail::ChangeSetHeader header{ornhost::detail::NewChangeSetId(),
                                                  ornhost::detail::UtcNow(),
                                                  ornhost::detail::OsUser(), ShellCommand(command)};
    if (!OpenReport()) return 2;
    std::size_t files = 0;
    std::size_t setups = 0;
    std::size_t created = 0;
    std::size_t undecided = 0;
    std::size_t skipped = 0;
    bool written = false;
    const bool whole = EachFileOnEveryCore([&](const std::filesystem::path& path) -> Told {
      // Read and written through one opening: the write reads again what it checks.
      ornhost::detail::DesignFile file(
          path, options_.apply ? ornhost::detail::DesignFile::Access::WriteExisting
                               : ornhost::detail::DesignFile::Access::ReadOnly);
      DeployPlan plan;
      std::optional<std::string> skip;
      {
        const ornhost::StoredFile stored = ornhost::ReadStoredFile(file);
        plan = PlanDeploy(stored, request);
        if (plan.setups.empty()) return {};
        if (!stored.readProblem.empty()) {
          skip = "damaged, so it is never written";
        } else if (!stored.refusal.empty()) {
          skip = "of an older format, so it is never written (" + stored.refusal + ")";
        }
      }
      bool wrote = false;
      if (!skip && options_.apply) {
        try {
          ornhost::StoreFixes(file, path, plan.fixes, ornhost::detail::actions::kAuditDeploy,
                              &header, plan.added);
          wrote = true;
        } catch (const ornhost::DesignFileError& error) {
          skip = error.Reason();
        }
      }
      return [&, path, plan = std::move(plan), skip = std::move(skip), wrote] {
        written = written || wrote;
        nlohmann::json entry = DrawingEntry(path);
        entry["setups"] = nlohmann::json::array();
        if (skip) {
          ++skipped;
          console_.Out(path.string() + ": skipped: " + *skip);
          // Nothing of it changes, so the report lists none of what the plan held for it.
          entry["outcome"] = "skipped";
          entry["reason"] = *skip;
          files_.push_back(std::move(entry));
          return;
        }
        for (const DeployedSetup& setup : plan.setups)
          entry["setups"].push_back(DeployedJson(setup));
        entry["outcome"] = options_.apply ? "changed" : "would change";
        files_.push_back(std::move(entry));
        ++files;
        setups += plan.setups.size();
        undecided += plan.Undecided();
        console_.Out(path.string() + ": " + (options_.apply ? "changed " : "would change ") +
                     CountOf(plan.setups.size(), "setup", "setups"));
        for (const DeployedSetup& setup : plan.setups) {
          created += setup.created ? 1 : 0;
          Tell(setup);
        }
      };
    });
    std::string line = "deploy: " + std::string(options_.apply ? "changed " : "would change ") +
                       CountOf(setups, "setup", "setups") + " in " +
                       CountOf(files, "design file", "design files");
    if (created > 0) line += " (" + std::to_string(created) + " created)";
    if (undecided > 0) {
      line += "; " + CountOf(undecided, "conflict", "conflicts") +
              " left (--take library|local decides)";
    }
    if (skipped > 0) line += "; " + CountOf(skipped, "file", "files") + " skipped";
    if (!options_.apply && setups > 0) line += "; --apply writes the changes";
    console_.Out(line);
    if (written) {
      console_.Out("change set: " + header.id + " (--changes " + header.id + " shows it, --undo " +
                   header.id + " takes it back)");
    }
    const int status = End(whole, skipped > 0 || undecided > 0);
    return Report("deploy", header, written ? header.id : "", nullptr, whole,
                  {{"files", files},
                   {"setups", setups},
                   {"created", created},
                   {"conflicts", undecided},
                   {"skipped", skipped}},
                  status);
  }

  int Forget() {
    std::size_t files = 0;
    std::size_t skipped = 0;
    // An id given in part stands for the first change set found that it begins.
    std::string id;
    const bool whole = EachFile([&](const std::filesystem::path& path) {
      bool holds = false;
      for (const auto& changeSet : ornhost::ChangeSetsInFile(path)) {
        if (id.empty() && changeSet.header.id.starts_with(options_.forget))
          id = changeSet.header.id;
        holds = holds || (!id.empty() && changeSet.header.id == id);
      }
      if (!holds) return;
      ++files;
      if (!options_.apply) {
        console_.Out(path.string() + ": would forget it");
        return;
      }
      try {
        ornhost::ForgetChangeSet(path, id);
        console_.Out(path.string() + ": forgotten");
      } catch (const ornhost::DesignFileError& error) {
        ++skipped;
        console_.Out(path.string() + ": skipped: " + error.Reason());
      }
    });
    if (files == 0) {
      console_.Err("rsm-audit: no file under the PATHs holds change set " + options_.forget);
      return End(whole, true);
    }
    std::string line = "forget: " + std::string(options_.apply ? "forgot " : "would forget ") +
                       "change set " + options_.forget + " in " +
                       CountOf(files - skipped, "design file", "design files");
    if (skipped > 0) line += "; " + CountOf(skipped, "file", "files") + " skipped";
    if (!options_.apply) line += "; --apply forgets it (its versions stay, without its id)";
    console_.Out(line);
    return End(whole, skipped > 0);
  }

 private:
  // The library setup deployed, as its library holds it now; or why there is none.
  std::string Source(DeploySource& source) {
    std::unique_ptr<ornhost::LibraryShelf> shelf;
    try {
      shelf = std::make_unique<ornhost::LibraryShelf>(options_.libraries);
    } catch (const ornhost::DesignFileError& error) {
      return std::string("--library ") + error.what();
    }
    const std::u16string name = Utf8ToUtf16(options_.deploy);
    std::filesystem::path library;
    if (options_.deployFrom) {
      library = *options_.deployFrom;
    } else if (const auto* offer = shelf->Offering(name)) {
      library = offer->libraryPath;
    } else {
      return "no --library offers a setup \"" + options_.deploy + "\"";
    }
    std::error_code ec;
    source.origin.libraryFile = Utf8ToUtf16(library.filename().string());
    source.origin.libraryPath = std::filesystem::absolute(library, ec).lexically_normal().string();
    source.origin.librarySetup = name;
    std::string gone;
    const auto now = shelf->Setup(source.origin, gone);
    if (!now) return library.string() + ": " + gone;
    source.origin.base = now->values;
    source.origin.governed = now->standards.scope;
    source.standards = now->standards;
    return "";
  }

  void Tell(const DeployedSetup& setup) {
    const std::string name = "  " + SetupName(setup.name);
    if (setup.created) {
      console_.Out(name + " created: a full copy of the library setup");
      return;
    }
    if (setup.rows.empty()) {
      console_.Out(name + " takes it as " + (setup.overlay ? "an overlay" : "its library setup") +
                   "; no value changes");
    }
    for (const DeployRow& row : setup.rows) {
      std::string line = name + " " + row.property + " ";
      switch (row.kind) {
        case DeployRow::Kind::Library:
          line += row.here + " -> " + row.to;
          break;
        case DeployRow::Kind::Replaced:
          line += row.here + " -> " + row.to + " (replaces the local value)";
          break;
        case DeployRow::Kind::Locked:
          line += row.here + " -> " + row.to + " (locked)";
          break;
        case DeployRow::Kind::Kept:
          line += row.here + " kept (changed here)";
          break;
        case DeployRow::Kind::Decided:
          line += "conflict: " + row.here + " here, " + row.library + " in the library; " +
                  (row.Changes() ? "takes the library's" : "keeps the local");
          break;
        case DeployRow::Kind::Undecided:
          line += "conflict: " + row.here + " here, " + row.library +
                  " in the library; left (--take library|local decides)";
          break;
      }
      console_.Out(line);
    }
  }

  void Tell(const ornhost::UndoneSetup& setup) {
    const std::string name = "  " + SetupName(setup.name);
    switch (setup.action) {
      case ornhost::UndoAction::Delete:
        console_.Out(name + " delete: the change set created it");
        break;
      case ornhost::UndoAction::Recreate:
        console_.Out(name + " store again: the change set deleted it");
        break;
      case ornhost::UndoAction::Left:
        console_.Out(name + " left: " + setup.reason);
        break;
      case ornhost::UndoAction::Restore:
      case ornhost::UndoAction::NothingToDo:
        break;
    }
    for (const ornhost::UndoneValue& value : setup.values) {
      std::string line = name + " " + value.property + " ";
      if (!value.conflict) {
        line += value.now + " -> " + value.before;
      } else {
        line += "conflict: " + value.now + " now, the change set wrote " + value.written +
                (value.before.empty() ? "" : ", " + value.before + " before") +
                (value.changes ? "; put back" : "; kept");
      }
      console_.Out(line);
    }
    if (setup.standingChanges || setup.standingConflict) {
      console_.Out(name + " where it came from (merge base, overlays, overrides): " +
                   (setup.standingConflict ? std::string("changed since; ") +
                                                 (setup.standingChanges ? "put back" : "kept")
                                           : "put back"));
    }
  }

  // Writes the JSON report, when one was asked for; returns the exit status, 3 when the report
  // could not be written.
  int Report(const char* kind, const ornhost::detail::ChangeSetHeader& run,
             const std::string& written, const nlohmann::json& undoes, bool whole,
             const nlohmann::json& totals, int status) {
    if (!json_ && !csv_ && !html_) return status;
    nlohmann::json report = {
        {"kind", kind},
        {"command", run.command},
        {"startedAt", run.madeAt},
        {"apply", options_.apply},
        {"partial", !whole},
        {"changeSet", written.empty() ? nlohmann::json() : nlohmann::json(written)},
        {"files", files_},
        {"totals", totals},
        {"exitStatus", status}};
    if (!undoes.is_null()) report["undoes"] = undoes;
    const std::string title =
        std::string(kind) == "deploy"
            ? "Deploy of \"" + options_.deploy + "\""
            : "Undo of change set " +
                  (undoes.is_null() ? options_.undo : undoes["id"].get<std::string>());
    for (auto* file : {&json_, &csv_, &html_}) {
      if (!*file) continue;
      try {
        if (file == &json_) {
          (*file)->Write(report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                         "\n");
        } else {
          (*file)->Write(file == &csv_ ? CsvOfFiles(files_) : HtmlOfReport(title, report));
        }
        (*file)->Commit();
      } catch (const ReportError& error) {
        console_.Err(std::string("rsm-audit: ") + error.what());
        if (whole) status = kUnreadable;
        continue;
      }
      if (!whole) console_.Out("report: " + (*file)->Path().string() + " (partial)");
    }
    return status;
  }

  // The change set that id, or the part of one, names in the first file of the walk that holds
  // one; id itself when none does.
  std::string FullId(const std::string& id) {
    ProjectWalk walk(options_.paths);
    for (ProjectEntry entry; walk.Next(entry) && !stop_;) {
      if (!entry.skipped.empty() || !entry.folderProblem.empty() ||
          IsLibrary(entry.path, options_.libraries) || !LooksLikeSqliteFile(entry.path)) {
        continue;
      }
      try {
        ornhost::detail::DesignFile file(entry.path, ornhost::detail::DesignFile::Access::ReadOnly);
        if (const auto found = ornhost::detail::ChangeSetTable::Read(file, id)) {
          return found->header.id;
        }
      } catch (const ornhost::DesignFileError&) {
        // Told when the files are worked on.
      }
    }
    return id;
  }

  // On a worker: an entry of the walk worked on, or what tells why it cannot be.
  Told WorkOn(const ProjectEntry& entry,
              const std::function<Told(const std::filesystem::path&)>& work) {
    const auto unreadable = [this, path = entry.path](std::string reason) -> Told {
      return [this, path, reason = std::move(reason)] { Unreadable(path, reason); };
    };
    if (!entry.skipped.empty()) return {};
    if (!entry.folderProblem.empty()) return unreadable(entry.folderProblem);
    if (IsLibrary(entry.path, options_.libraries)) return {};
    if (!LooksLikeSqliteFile(entry.path))
      return entry.named ? unreadable("is not a design file") : Told();
    try {
      return work(entry.path);
    } catch (const ornhost::DesignFileError& error) {
      if (!entry.named && error.Reason() == "is not a design file") return {};
      return unreadable(error.Reason());
    } catch (...) {
      return [failure = std::current_exception()] { std::rethrow_exception(failure); };
    }
  }

  void Unreadable(const std::filesystem::path& path, const std::string& reason) {
    console_.Err("rsm-audit: " + path.string() + ": " + reason);
    unreadable_ = true;
  }

  int End(bool whole, bool left) {
    if (!whole) {
      console_.Out("stopped by " + StopSignalName() + " (partial)");
      const int signal = StopSignal();
      return 128 + (signal != 0 ? signal : SIGINT);
    }
    if (unreadable_) return kUnreadable;
    return left ? kSkippedOrConflicts : 0;
  }

  const AuditOptions& options_;
  Console& console_;
  const std::atomic<bool>& stop_;
  bool unreadable_ = false;
  std::optional<ReportFile> json_;
  std::optional<ReportFile> csv_;
  std::optional<ReportFile> html_;
  nlohmann::json files_ = nlohmann::json::array();
};

}  // namespace

int RunChangeSets(const AuditOptions& options, const std::vector<std::string>& command,
                  Console& console, const std::atomic<bool>& stop) {
  ChangeSetRun run(options, console, stop);
  if (!options.undo.empty()) return run.Undo(command);
  if (!options.deploy.empty()) return run.Deploy(command);
  if (!options.forget.empty()) return run.Forget();
  return options.changeSet.empty() ? run.List() : run.Show();
}

}  // namespace ornr::audit
