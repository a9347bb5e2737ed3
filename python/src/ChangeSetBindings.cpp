// Deploy, undo and forget as rsm-audit runs them (audit/ChangeSetRun.h), in-process: its JSON
// report and its lines kept for ornr/_changes.py to make objects of; and the change sets a
// project's files keep, read as rsm-audit --changes reads them.
#include <fcntl.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "audit/AuditOptions.h"
#include "audit/ChangeSetRun.h"
#include "audit/Console.h"
#include "audit/ProjectWalk.h"
#include "host/controls/HostControls.h"
#include "host/provenance/ChangeSets.h"
#include "host/store/ChangeSetTable.h"
#include "python/src/OpenFile.h"
#include "python/src/Python.h"
#include "python/src/Values.h"

namespace ornr::python {

namespace {

// A run on a thread of its own, watched from the thread that called it: Ctrl-C
// (KeyboardInterrupt) and an error of the progress callback ask it to stop before its next file;
// the error is raised once it has stopped.
class ChangeSetWatch {
 public:
  explicit ChangeSetWatch(py::object progress) : progress_(std::move(progress)) {}

  /// With the GIL released: runs work, checking for signals and telling progress meanwhile.
  void Run(const std::function<void()>& work) {
    std::exception_ptr failed;
    std::thread thread([&] {
      try {
        work();
      } catch (...) {
        failed = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
      ended_.notify_all();
    });
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        // Signals are only seen from here, so a stop asked for is heard within this while.
        ended_.wait_for(lock, std::chrono::milliseconds(20), [&] { return finished_; });
        if (finished_) break;
      }
      Tell();
    }
    thread.join();
    if (failed) std::rethrow_exception(failed);
    if (!told_ && total_ > 0 && !stop_) {
      // The run told no progress of its own: all of it is done.
      done_ = total_.load();
      told_ = true;
    }
    Tell();
  }

  /// The run's own progress, from any thread.
  void Progress(std::size_t done, std::size_t total) {
    done_ = done;
    total_ = total;
    told_ = true;
  }
  void Expect(std::size_t total) { total_ = total; }
  bool WantsProgress() const { return !progress_.is_none(); }
  const std::atomic<bool>& Stop() const { return stop_; }

  /// With the GIL held: what stopped the run (the exception, not raised), or None.
  py::object Held() {
    if (!held_) return py::none();
    py::object value = held_->value();
    held_.reset();
    return value;
  }
  /// With the GIL held: raises what stopped the run, if anything did.
  void RaiseHeld() {
    if (!held_) return;
    held_->restore();
    held_.reset();
    throw py::error_already_set();
  }

 private:
  void Tell() {
    if (stop_) return;
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) return Hold();
    const std::size_t done = done_;
    const std::size_t total = total_;
    if (progress_.is_none() || total == 0 || (done == toldDone_ && total == toldTotal_)) return;
    toldDone_ = done;
    toldTotal_ = total;
    try {
      progress_(done, total);
    } catch (py::error_already_set& error) {
      error.restore();
      Hold();
    }
  }
  void Hold() {
    held_ = std::make_unique<py::error_already_set>();
    stop_ = true;
  }

  py::object progress_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<py::error_already_set> held_;
  std::atomic<std::size_t> done_{0};
  std::atomic<std::size_t> total_{0};
  std::atomic<bool> told_{false};
  std::size_t toldDone_ = static_cast<std::size_t>(-1);
  std::size_t toldTotal_ = 0;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;
};

// A folder of its own for the run's JSON report, gone with it.
class ReportFolder {
 public:
  ReportFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ornr-run-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw Failure(ErrorKind::Error, "no temporary folder for the run's report: " +
                                          std::string(std::strerror(errno)));
    }
    folder_ = pattern;
  }
  ~ReportFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  ReportFolder(const ReportFolder&) = delete;
  ReportFolder& operator=(const ReportFolder&) = delete;
  std::filesystem::path Report() const { return folder_ / "report.json"; }

 private:
  std::filesystem::path folder_;
};

std::string ReadReport(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::filesystem::path> PathsOf(const std::vector<std::string>& paths) {
  return {paths.begin(), paths.end()};
}

// kind is "deploy", "undo" or "forget"; the arguments are rsm-audit's, checked by the caller.
// Returns the exit status, the JSON report ("" for forget), the lines the run wrote, each with
// whether it went to standard error, and what stopped it (KeyboardInterrupt, or the error of the
// progress callback), not raised, so that the caller can name what was written before.
py::tuple RunChangeSetCommand(const std::string& kind, const std::vector<std::string>& paths,
                              const std::vector<std::string>& libraries, const std::string& target,
                              std::optional<std::string> from, bool linked,
                              const std::vector<std::string>& to, bool everySetup, bool create,
                              const std::string& take, bool takeChangeSet, bool apply,
                              unsigned jobs, const std::vector<std::string>& command,
                              py::object progress) {
  audit::AuditOptions options;
  options.paths = PathsOf(paths);
  options.libraries = PathsOf(libraries);
  options.apply = apply;
  options.jobs = jobs;
  if (kind == "deploy") {
    options.deploy = target;
    if (from) options.deployFrom = *from;
    options.linked = linked;
    options.to = to;
    options.everySetup = everySetup;
    options.create = create;
    options.take = take == "library" ? ornhost::MergeTake::Library
                   : take == "local" ? ornhost::MergeTake::Local
                                     : ornhost::MergeTake::Undecided;
  } else if (kind == "undo") {
    options.undo = target;
    options.takeChangeSet = takeChangeSet;
  } else if (kind == "forget") {
    options.forget = target;
  } else {
    throw Failure(ErrorKind::Error, "no change-set command \"" + kind + "\"");
  }
  std::optional<ReportFolder> folder;
  if (kind != "forget") {
    folder.emplace();
    options.json = folder->Report();
  }
  ChangeSetWatch watch(std::move(progress));
  std::mutex linesMutex;
  std::vector<std::pair<bool, std::string>> lines;
  int status = 0;
  {
    py::gil_scoped_release release;
    watch.Run([&] {
      if (watch.WantsProgress()) watch.Expect(audit::ProjectWalk::Count(options.paths));
      audit::Console console(audit::Console::ProgressStyle::None);
      console.OnProgress([&](std::size_t done, std::size_t total) { watch.Progress(done, total); });
      console.OnLine([&](bool error, std::string_view line) {
        const std::lock_guard<std::mutex> lock(linesMutex);
        lines.emplace_back(error, std::string(line));
      });
      status = audit::RunChangeSets(options, command, console, watch.Stop());
    });
  }
  py::object stopped = watch.Held();
  py::list told;
  for (const auto& [error, line] : lines) told.append(py::make_tuple(error, TextObject(line)));
  std::string report;
  if (options.json) report = ReadReport(*options.json);
  return py::make_tuple(status, py::bytes(report), told, stopped);
}

struct ListedChangeSet {
  ornhost::detail::ChangeSetHeader header;
  std::size_t files = 0;
  std::size_t setups = 0;
  std::size_t values = 0;
};

struct ShownFile {
  std::string path;
  std::vector<ornhost::detail::ChangeSetSetup> setups;
};

// The change sets the design files under paths keep, as rsm-audit --changes finds them: every
// one with its counts, or (id given) the first one id begins and what it did in each file.
py::tuple ReadChangeSets(const std::vector<std::string>& paths, const std::string& id,
                         py::object progress) {
  ChangeSetWatch watch(std::move(progress));
  std::map<std::string, ListedChangeSet> found;
  std::string shown;
  ornhost::detail::ChangeSetHeader shownHeader;
  std::vector<ShownFile> shownFiles;
  std::vector<std::pair<std::string, std::string>> unreadable;
  bool whole = true;
  {
    py::gil_scoped_release release;
    watch.Run([&] {
      const auto roots = PathsOf(paths);
      const std::size_t total = audit::ProjectWalk::Count(roots);
      std::size_t done = 0;
      watch.Progress(0, total);
      audit::ProjectWalk walk(roots);
      for (audit::ProjectEntry entry; walk.Next(entry);) {
        if (watch.Stop()) {
          whole = false;
          return;
        }
        if (!entry.skipped.empty()) continue;
        watch.Progress(++done, total);
        if (!entry.folderProblem.empty()) {
          unreadable.emplace_back(entry.path.string(), entry.folderProblem);
          continue;
        }
        if (audit::NamedAsLibrary(entry.path)) continue;
        if (!audit::LooksLikeSqliteFile(entry.path)) {
          if (entry.named) unreadable.emplace_back(entry.path.string(), "is not a design file");
          continue;
        }
        std::vector<ornhost::detail::ChangeSet> changeSets;
        try {
          changeSets = ornhost::ChangeSetsInFile(entry.path);
        } catch (const ornhost::DesignFileError& error) {
          if (entry.named || error.Reason() != "is not a design file") {
            unreadable.emplace_back(entry.path.string(), error.Reason());
          }
          continue;
        }
        for (auto& changeSet : changeSets) {
          if (id.empty()) {
            ListedChangeSet& listed = found[changeSet.header.id];
            listed.header = changeSet.header;
            ++listed.files;
            listed.setups += changeSet.setups.size();
            // As --changes counts: a setup created or deleted is a setup, not its values.
            for (const auto& setup : changeSet.setups) {
              if (!setup.Created() && !setup.Deleted()) listed.values += setup.values.size();
            }
            continue;
          }
          if (!changeSet.header.id.starts_with(id)) continue;
          if (shown.empty()) {
            shown = changeSet.header.id;
            shownHeader = changeSet.header;
          }
          if (changeSet.header.id != shown) continue;
          shownFiles.push_back({entry.path.string(), std::move(changeSet.setups)});
        }
      }
    });
  }
  watch.RaiseHeld();
  const auto header = [](const ornhost::detail::ChangeSetHeader& h) {
    return py::make_tuple(h.id, h.madeAt, TextObject(h.madeBy), TextObject(h.command));
  };
  py::list missing;
  for (const auto& [path, reason] : unreadable) {
    missing.append(py::make_tuple(PathObject(path), TextObject(reason)));
  }
  if (id.empty()) {
    py::list listed;
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
      listed.append(py::make_tuple(header(it->second.header), it->second.files, it->second.setups,
                                   it->second.values));
    }
    return py::make_tuple(listed, missing, whole);
  }
  if (shown.empty()) return py::make_tuple(py::none(), missing, whole);
  py::list files;
  for (const ShownFile& file : shownFiles) {
    py::list setups;
    for (const auto& setup : file.setups) {
      const auto name = [](const std::optional<std::u16string>& text) -> py::object {
        if (!text) return py::none();
        return NameObject(*text);
      };
      py::list values;
      for (const auto& value : setup.values) {
        const auto typed = [&](const std::optional<ornhost::detail::StoredValue>& v) -> py::object {
          if (!v) return py::none();
          return ValueObject(value.field, *v);
        };
        values.append(
            py::make_tuple(KeyObject(value.field), typed(value.before), typed(value.after)));
      }
      setups.append(py::make_tuple(name(setup.nameBefore), name(setup.nameAfter), values,
                                   setup.standingBefore != setup.standingAfter));
    }
    files.append(py::make_tuple(PathObject(file.path), setups));
  }
  return py::make_tuple(py::make_tuple(header(shownHeader), files), missing, whole);
}

}  // namespace

void BindChangeSets(py::module_& module) {
  module.def("_change_set_run", &RunChangeSetCommand, py::arg("kind"), py::arg("paths"),
             py::arg("libraries"), py::arg("target"), py::arg("from_library"), py::arg("linked"),
             py::arg("to"), py::arg("every_setup"), py::arg("create"), py::arg("take"),
             py::arg("take_change_set"), py::arg("apply"), py::arg("jobs"), py::arg("command"),
             py::arg("progress"));
  module.def("_change_sets", &ReadChangeSets, py::arg("paths"), py::arg("change_set"),
             py::arg("progress"));
  module.def("_value_of_text", &ValueOfText, py::arg("property"), py::arg("text"));
  // The exact names of a drawing's setups, for the names its JSON report could not carry.
  module.def(
      "_setup_names",
      [](py::handle path) {
        const std::string file = PathOf(path);
        std::vector<std::u16string> names;
        {
          py::gil_scoped_release release;
          OpenFile opened(file, OpenFile::Mode::Read, false);
          for (const auto& entry : opened.Entries()) names.push_back(entry->name);
        }
        py::list listed;
        for (const auto& name : names) listed.append(NameObject(name));
        return listed;
      },
      py::arg("path"));
  module.def("_looks_like_change_set_id",
             [](const std::string& text) { return ornhost::detail::LooksLikeChangeSetId(text); });
}

}  // namespace ornr::python
