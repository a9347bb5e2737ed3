// ornr.audit: the very run rsm-audit makes (audit/), its findings kept as a Report whose objects
// mirror the JSON report, and the fix it plans as a preview that apply() writes.
#include <pybind11/stl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <thread>
#include <tuple>

#include "audit/AuditRun.h"
#include "audit/Console.h"
#include "audit/FileAudit.h"
#include "audit/FileFix.h"
#include "audit/Report.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/SettingFields.h"
#include "host/store/SettingsColumns.h"
#include "host/store/VersionTable.h"
#include "python/src/Python.h"
#include "python/src/Values.h"
#include "support/Utf.h"

namespace ornr::python {

namespace {

using audit::FileFinding;
using audit::SetupFinding;

// What a run found, shared by the objects that show it.
struct AuditResult {
  std::vector<FileFinding> files;
  /// Entries of folders the walk did not read, each with how many files came before it.
  std::vector<std::pair<std::size_t, audit::SkippedEntry>> skipped;
  audit::Totals totals;
  audit::RunInfo run;
  /// The libraries and the fix asked for, for the rsm-audit command that makes the same report.
  std::vector<std::string> libraries;
  /// A fix was planned (the setups to merge, the locked values to put back), and (applied)
  /// written.
  bool fix = false;
  bool fixMerge = false;
  bool fixLocks = false;
  bool applied = false;
  std::atomic<bool> applying{false};
};
using ResultPtr = std::shared_ptr<AuditResult>;

struct ReportObject {
  ResultPtr result;
};
struct FileObjectRef {
  ResultPtr result;
  std::size_t file = 0;
  const FileFinding& Get() const { return result->files[file]; }
};
struct SetupRef {
  ResultPtr result;
  std::size_t file = 0;
  std::size_t setup = 0;
  const SetupFinding& Get() const { return result->files[file].setups[setup]; }
};
struct FixPreviewObject {
  ResultPtr result;
};

// Every file and skipped entry the run lists, kept: a report of thousands of files holds their
// findings.
class Collector final : public audit::Report {
 public:
  explicit Collector(AuditResult& result) : result_(result) {}
  void File(const FileFinding& file) override { Keep(FileFinding(file)); }
  void Keep(FileFinding&& file) override {
    FileFinding& kept = result_.files.emplace_back(std::move(file));
    // Where a setup came from is only needed to write its fix.
    if (!result_.fix) {
      for (SetupFinding& setup : kept.setups) setup.origin.reset();
    }
  }
  void Skipped(const audit::SkippedEntry& entry) override {
    result_.skipped.emplace_back(result_.files.size(), entry);
  }
  void End(const audit::RunInfo&, const audit::Totals&) override {}

 private:
  AuditResult& result_;
};

std::string TimeText(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::vector<std::filesystem::path> PathList(py::handle paths) {
  std::vector<std::filesystem::path> list;
  if (PyUnicode_Check(paths.ptr()) || PyBytes_Check(paths.ptr()) ||
      py::hasattr(paths, "__fspath__")) {
    list.emplace_back(PathOf(paths));
    return list;
  }
  for (py::handle path : paths) list.emplace_back(PathOf(path));
  return list;
}

unsigned JobsOf(py::handle jobs) {
  if (jobs.is_none()) return 0;
  const long count = jobs.cast<long>();
  if (count < 1 || count > 1024) throw Failure(ErrorKind::Error, "jobs is a number from 1 to 1024");
  return static_cast<unsigned>(count);
}

// The rsm-audit command line that makes the same report.
std::vector<std::string> Command(const AuditResult& result, const std::string& take) {
  std::vector<std::string> words{"rsm-audit"};
  for (const std::string& library : result.libraries) {
    words.push_back("--library");
    words.push_back(library);
  }
  if (result.fix) {
    words.insert(words.end(), {"--fix", result.fixMerge && result.fixLocks ? "merge,locks"
                                        : result.fixMerge                  ? "merge"
                                                                           : "locks"});
    if (!take.empty()) words.insert(words.end(), {"--take", take});
    if (result.run.includeOverrides) words.push_back("--include-overrides");
    if (result.applied) words.push_back("--apply");
  }
  if (result.run.strict) words.push_back("--strict");
  for (const std::string& path : result.run.paths) words.push_back(path);
  return words;
}

// Watches a long run from the thread that called it: Ctrl-C (KeyboardInterrupt) and an error of
// the progress callback stop it after the files being worked on; the error is raised at the end.
class Watch {
 public:
  explicit Watch(py::object progress) : progress_(std::move(progress)) {}

  /// Called with the GIL released.
  void Tell(std::size_t done, std::size_t total) {
    if (stop_) return;
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) {
      Hold();
      return;
    }
    if (progress_.is_none() || (done == done_ && total == total_)) return;
    done_ = done;
    total_ = total;
    try {
      progress_(done, total);
    } catch (py::error_already_set& error) {
      error.restore();
      Hold();
    }
  }
  const std::atomic<bool>& Stop() const { return stop_; }
  /// With the GIL held: raises what stopped the run, if anything did.
  void RaiseHeld() {
    if (!held_) return;
    held_->restore();
    held_.reset();
    throw py::error_already_set();
  }

 private:
  void Hold() {
    held_ = std::make_unique<py::error_already_set>();
    stop_ = true;
  }

  py::object progress_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<py::error_already_set> held_;
  std::size_t done_ = static_cast<std::size_t>(-1);
  std::size_t total_ = 0;
};

py::object LibraryRefOf(const SetupFinding& setup) {
  if (setup.libraryFile.empty()) return py::none();
  return TypesAttr("LibraryRef")(
      PathObject(setup.libraryFile), PathObject(setup.libraryPath), TextObject(setup.librarySetup),
      setup.takenAt.empty() ? py::object(py::none()) : py::str(setup.takenAt));
}

const char* FixActionKey(audit::FixAction action) {
  switch (action) {
    case audit::FixAction::NothingToDo:
      return "nothing to do";
    case audit::FixAction::Merge:
      return "merge";
    case audit::FixAction::Undecided:
      return "conflicts to decide";
    case audit::FixAction::NoLibrary:
      return "library setup gone";
    case audit::FixAction::Locks:
      return "put back locks";
    case audit::FixAction::None:
      break;
  }
  return "";
}

py::object CountsDict(const audit::StateCounts& counts) {
  py::dict dict;
  for (std::size_t i = 0; i < audit::kSetupStateCount; ++i) {
    dict[py::str(audit::StateKey(static_cast<audit::SetupState>(i)))] = counts[i];
  }
  return dict;
}

py::object TotalsObject(const AuditResult& result) {
  const audit::Totals& totals = result.totals;
  py::dict byStatus;
  for (std::size_t i = 0; i < audit::kFileStatusCount; ++i) {
    byStatus[py::str(audit::FileStatusKey(static_cast<audit::FileStatus>(i)))] = totals.files[i];
  }
  py::object propertyRow = TypesAttr("PropertyTotals");
  py::list properties;
  for (const auto& [name, counts] : totals.PropertiesByDrift()) {
    properties.append(propertyRow(name, counts.Total(), counts.changedHere, counts.changedInLibrary,
                                  counts.conflict, counts.sameName));
  }
  py::object fix = py::none();
  if (result.fix) {
    fix = TypesAttr("FixTotals")(totals.filesFixed, totals.setupsFixed, totals.filesSkipped,
                                 totals.setupsUndecided, totals.locksRestored);
  }
  return TypesAttr("Totals")(totals.done, totals.expected, totals.Listed(), byStatus,
                             totals.drawingsWithDrift, totals.librariesSkipped, totals.otherFiles,
                             totals.skipped, totals.setups, CountsDict(totals.states), properties,
                             fix, totals.lockedValues, totals.locksChanged, totals.overridden);
}

std::string Json(const AuditResult& result) {
  std::string text;
  auto report = audit::MakeJsonReport(text);
  // In the order of the walk, as rsm-audit's report hears of them.
  auto skipped = result.skipped.begin();
  for (std::size_t i = 0; i <= result.files.size(); ++i) {
    for (; skipped != result.skipped.end() && skipped->first == i; ++skipped) {
      report->Skipped(skipped->second);
    }
    if (i < result.files.size()) report->File(result.files[i]);
  }
  report->End(result.run, result.totals);
  return text;
}

// The path a listed file was read at: relative to the folder the run started in.
std::filesystem::path ReadAt(const AuditResult& result, const FileFinding& file) {
  const std::filesystem::path path(file.path);
  return path.is_absolute() ? path : std::filesystem::path(result.run.folder) / path;
}

ReportObject Apply(const FixPreviewObject& preview, py::handle jobs, py::object progress) {
  const ResultPtr& planned = preview.result;
  if (planned->applied || planned->applying.exchange(true)) {
    throw Failure(ErrorKind::Error, "this fix has been applied already; audit again to plan anew");
  }
  auto applied = std::make_shared<AuditResult>();
  applied->files = planned->files;
  applied->skipped = planned->skipped;
  applied->run = planned->run;
  applied->libraries = planned->libraries;
  applied->fix = true;
  applied->fixMerge = planned->fixMerge;
  applied->fixLocks = planned->fixLocks;
  applied->applied = true;
  applied->run.apply = true;
  applied->run.command = Command(*applied, planned->run.take);
  // One change set, as the same rsm-audit run writes, so that rsm-audit --undo takes it back.
  const ornhost::detail::ChangeSetHeader changeSet{
      ornhost::detail::NewChangeSetId(), ornhost::detail::UtcNow(), ornhost::detail::OsUser(),
      audit::ShellCommand(applied->run.command)};
  applied->run.changeSet = changeSet.id;
  std::vector<std::size_t> toWrite;
  for (std::size_t i = 0; i < applied->files.size(); ++i) {
    if (applied->files[i].fix == audit::FixOutcome::WouldChange) toWrite.push_back(i);
  }
  const unsigned workers = std::max(
      1u, std::min<unsigned>(JobsOf(jobs) > 0 ? JobsOf(jobs) : std::thread::hardware_concurrency(),
                             static_cast<unsigned>(std::max<std::size_t>(toWrite.size(), 1))));
  Watch watch(std::move(progress));
  {
    py::gil_scoped_release release;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::vector<std::thread> threads;
    // Each file is one transaction: a stop comes between files, never inside one.
    for (unsigned t = 0; t < workers; ++t) {
      threads.emplace_back([&] {
        for (;;) {
          if (watch.Stop()) return;
          const std::size_t index = next++;
          if (index >= toWrite.size()) return;
          FileFinding& file = applied->files[toWrite[index]];
          // The versions are named as rsm-audit names them for the same fix.
          audit::FixFile(
              ReadAt(*applied, file), file, true,
              applied->fixMerge ? ornhost::detail::actions::kAuditFix : audit::kAuditLockFix,
              &changeSet);
          ++done;
        }
      });
    }
    while (done < toWrite.size() && !watch.Stop()) {
      watch.Tell(done, toWrite.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (std::thread& thread : threads) thread.join();
    if (!watch.Stop()) watch.Tell(done, toWrite.size());
  }
  planned->applied = true;
  if (watch.Stop()) {
    // What was written stays written, each file whole; the rest is as it was.
    watch.RaiseHeld();
  }
  audit::Totals totals;
  totals.expected = planned->totals.expected;
  totals.done = planned->totals.done;
  totals.librariesSkipped = planned->totals.librariesSkipped;
  totals.otherFiles = planned->totals.otherFiles;
  totals.skipped = planned->totals.skipped;
  for (const FileFinding& file : applied->files) totals.Add(file);
  applied->totals = std::move(totals);
  applied->run.finishedAt = TimeText(std::time(nullptr));
  applied->run.exitStatus = applied->totals.ExitStatus(applied->run.strict);
  return ReportObject{applied};
}

// The fixes asked for: "merge", "locks", "merge,locks" or an iterable of the words.
std::pair<bool, bool> FixesOf(py::handle fix) {
  if (fix.is_none()) return {false, false};
  std::vector<std::string> words;
  const auto split = [&](const std::string& text) {
    for (std::size_t start = 0;;) {
      const std::size_t comma = text.find(',', start);
      words.push_back(text.substr(start, comma - start));
      if (comma == std::string::npos) return;
      start = comma + 1;
    }
  };
  if (PyUnicode_Check(fix.ptr())) {
    split(fix.cast<std::string>());
  } else {
    for (py::handle word : fix) split(py::str(word).cast<std::string>());
  }
  std::pair<bool, bool> fixes{false, false};
  for (const std::string& word : words) {
    if (word == "merge") {
      fixes.first = true;
    } else if (word == "locks") {
      fixes.second = true;
    } else {
      throw Failure(ErrorKind::Error,
                    "fix is \"merge\", \"locks\", \"merge,locks\" or None, not \"" + word + "\"");
    }
  }
  if (!fixes.first && !fixes.second) throw Failure(ErrorKind::Error, "fix names no fix");
  return fixes;
}

ReportObject RunAudit(py::handle paths, py::handle libraries, py::handle jobs, py::object progress,
                      py::handle fix, py::handle take, bool includeOverrides, bool strict) {
  auto result = std::make_shared<AuditResult>();
  audit::RunSettings settings;
  settings.roots = PathList(paths);
  settings.jobs = JobsOf(jobs);
  std::vector<std::filesystem::path> libraryPaths;
  if (!libraries.is_none()) libraryPaths = PathList(libraries);
  std::tie(result->fixMerge, result->fixLocks) = FixesOf(fix);
  result->fix = result->fixMerge || result->fixLocks;
  if (includeOverrides && !result->fixLocks) {
    throw Failure(ErrorKind::Error, "include_overrides goes with fix=\"locks\"");
  }
  ornhost::MergeTake mergeTake = ornhost::MergeTake::Undecided;
  std::string takeWord;
  if (!take.is_none()) {
    takeWord = take.cast<std::string>();
    if (takeWord != "library" && takeWord != "local") {
      throw Failure(ErrorKind::Error, "take is \"library\", \"local\" or None");
    }
    mergeTake = takeWord == "library" ? ornhost::MergeTake::Library : ornhost::MergeTake::Local;
  }
  for (const auto& root : settings.roots) {
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) {
      throw Failure(ErrorKind::Error, root.string() + ": no such file or folder");
    }
  }
  audit::RunInfo& run = result->run;
  for (const auto& root : settings.roots) run.paths.push_back(root.string());
  std::error_code ec;
  run.folder = std::filesystem::current_path(ec).string();
  run.startedAt = TimeText(std::time(nullptr));
  run.startedLocal = run.startedAt;
  run.fix = result->fixMerge;
  run.fixLocks = result->fixLocks;
  run.includeOverrides = includeOverrides;
  run.strict = strict;
  run.take = takeWord;

  Watch watch(std::move(progress));
  {
    py::gil_scoped_release release;
    std::unique_ptr<ornhost::LibraryShelf> shelf;
    try {
      shelf = std::make_unique<ornhost::LibraryShelf>(libraryPaths);
    } catch (const ornhost::DesignFileError& error) {
      throw Failure(ErrorKind::FileError, std::string("library ") + error.what());
    }
    audit::AuditContext context;
    for (const auto& library : libraryPaths) {
      struct stat info {};
      if (stat(library.c_str(), &info) == 0) {
        context.libraryFiles.emplace_back(info.st_dev, info.st_ino);
      }
      result->libraries.push_back(library.string());
      run.libraries.push_back({library.filename().string(),
                               std::filesystem::absolute(library, ec).lexically_normal().string()});
    }
    context.shelf = shelf.get();
    context.fix = result->fixMerge;
    context.fixLocks = result->fixLocks;
    context.includeOverrides = includeOverrides;
    context.take = mergeTake;
    audit::Console console(audit::Console::ProgressStyle::None);
    console.OnProgress([&](std::size_t done, std::size_t total) { watch.Tell(done, total); });
    Collector collector(*result);
    result->totals = audit::RunAudit(settings, context, {&collector}, console, watch.Stop());
  }
  watch.RaiseHeld();
  run.command = Command(*result, takeWord);
  run.finishedAt = TimeText(std::time(nullptr));
  run.exitStatus = result->totals.ExitStatus(strict);
  return ReportObject{result};
}

py::list FileList(const ResultPtr& result, bool (*keep)(const FileFinding&)) {
  py::list files;
  for (std::size_t i = 0; i < result->files.size(); ++i) {
    if (keep == nullptr || keep(result->files[i])) files.append(FileObjectRef{result, i});
  }
  return files;
}

}  // namespace

void BindAudit(py::module_& module) {
  module.def(
      "audit", &RunAudit, py::arg("paths"), py::arg("libraries") = py::none(), py::kw_only(),
      py::arg("jobs") = py::none(), py::arg("progress") = py::none(), py::arg("fix") = py::none(),
      py::arg("take") = py::none(), py::arg("include_overrides") = false, py::arg("strict") = false,
      R"doc(audit(paths, libraries=None, *, jobs: int | None = None, progress: Callable[[int, int], object] | None = None, fix: str | None = None, take: str | None = None, include_overrides: bool = False, strict: bool = False) -> Report

Holds every design file under paths (a path or an iterable of them; folders recursively, in name
order) against the design libraries, as rsm-audit does: the same run, on every core (``jobs``
threads, default one per core), with the GIL released, writing nothing.

``libraries`` are the design libraries offered by name (a path or an iterable). ``progress``, when
given, is called as progress(done, total) with the files done so far. ``fix="merge"`` plans the
merge of every setup taken from a library with its library setup (``take="library"`` or
``"local"`` decides conflicts; without it such setups are left; a locked value not overridden
is always put back). ``fix="locks"`` plans putting back the locked values changed here, and
overridden ones too with ``include_overrides=True`` (their overrides go); ``fix="merge,locks"``
does both, locks last. ``Report.fix`` is then a FixPreview, and its ``apply()`` writes it.
``strict=True`` counts overridden locked values as violations, as ``--strict`` does.

Ctrl-C stops the run after the files being read and raises KeyboardInterrupt. Returns a Report.
)doc");

  py::class_<ReportObject>(module, "Report", R"doc(
What an audit found, as the JSON report of rsm-audit holds it (``to_json()`` is that report):
``files`` (AuditedFile), ``skipped`` (SkippedEntry: the entries of folders that are no files to
read), ``totals`` (Totals), ``exit_status`` (what rsm-audit would exit with:
0 all in step, 1 drift or a locked value changed, 3 a file could not be read), the run's times, libraries and the
rsm-audit ``command`` that makes the same report. ``fix`` is the FixPreview of a ``fix``.
)doc")
      .def_property_readonly(
          "files", [](const ReportObject& self) { return FileList(self.result, nullptr); })
      .def_property_readonly("totals",
                             [](const ReportObject& self) { return TotalsObject(*self.result); })
      .def_property_readonly("skipped",
                             [](const ReportObject& self) {
                               py::object row = TypesAttr("SkippedEntry");
                               py::list entries;
                               for (const auto& [at, entry] : self.result->skipped) {
                                 entries.append(row(PathObject(entry.path), entry.reason));
                               }
                               return entries;
                             })
      .def_property_readonly("exit_status",
                             [](const ReportObject& self) { return self.result->run.exitStatus; })
      .def_property_readonly("started_at",
                             [](const ReportObject& self) { return self.result->run.startedAt; })
      .def_property_readonly("finished_at",
                             [](const ReportObject& self) { return self.result->run.finishedAt; })
      .def_property_readonly(
          "folder", [](const ReportObject& self) { return PathObject(self.result->run.folder); })
      .def_property_readonly("command",
                             [](const ReportObject& self) {
                               py::list words;
                               for (const std::string& word : self.result->run.command) {
                                 words.append(TextObject(word));
                               }
                               return words;
                             })
      .def_property_readonly("change_set",
                             [](const ReportObject& self) -> py::object {
                               if (self.result->run.changeSet.empty()) return py::none();
                               return py::str(self.result->run.changeSet);
                             })
      .def_property_readonly(
          "libraries",
          [](const ReportObject& self) {
            py::list libraries;
            for (const auto& library : self.result->run.libraries) {
              libraries.append(py::make_tuple(PathObject(library.file), PathObject(library.path)));
            }
            return libraries;
          })
      .def_property_readonly(
          "applied", [](const ReportObject& self) { return self.result->applied; },
          "True for the report apply() returns: the fix was written.")
      .def_property_readonly("fix",
                             [](const ReportObject& self) -> py::object {
                               if (!self.result->fix || self.result->applied) return py::none();
                               return py::cast(FixPreviewObject{self.result});
                             })
      .def(
          "to_json", [](const ReportObject& self) { return Json(*self.result); },
          "to_json() -> str\n\nThe JSON report (docs/audit-report.schema.json), as rsm-audit "
          "--json writes it.")
      .def("__repr__", [](const ReportObject& self) {
        return "<ornr.Report: " + std::to_string(self.result->totals.Listed()) + " design files, " +
               std::to_string(self.result->totals.setups) + " setups, exit " +
               std::to_string(self.result->run.exitStatus) + ">";
      });

  py::class_<FileObjectRef>(module, "AuditedFile", R"doc(
A design file of an audit: its path (as reached from the PATH given), status ("read",
"older-format", "damaged" or "unreadable") and why, its format, its setups (AuditedSetup) and
how many are in each state, and with a fix what it does to the file (FileFix).
)doc")
      .def_property_readonly("path",
                             [](const FileObjectRef& self) { return PathObject(self.Get().path); })
      .def_property_readonly(
          "status",
          [](const FileObjectRef& self) { return audit::FileStatusKey(self.Get().status); })
      .def_property_readonly("reason",
                             [](const FileObjectRef& self) -> py::object {
                               if (self.Get().reason.empty()) return py::none();
                               return py::str(self.Get().reason);
                             })
      .def_property_readonly("format",
                             [](const FileObjectRef& self) -> py::object {
                               if (self.Get().format == 0) return py::none();
                               return py::int_(self.Get().format);
                             })
      .def_property_readonly("drifted",
                             [](const FileObjectRef& self) { return self.Get().Drifted(); })
      .def_property_readonly(
          "breaks_locks",
          [](const FileObjectRef& self) { return self.Get().BreaksLocks(self.result->run.strict); },
          "Whether a setup changed a locked value without an override (with strict=True, or "
          "overrides one).")
      .def_property_readonly(
          "counts", [](const FileObjectRef& self) { return CountsDict(self.Get().counts); })
      .def_property_readonly("setups",
                             [](const FileObjectRef& self) {
                               py::list setups;
                               for (std::size_t i = 0; i < self.Get().setups.size(); ++i) {
                                 setups.append(SetupRef{self.result, self.file, i});
                               }
                               return setups;
                             })
      .def_property_readonly(
          "fix",
          [](const FileObjectRef& self) -> py::object {
            const FileFinding& file = self.Get();
            if (file.fix == audit::FixOutcome::None) return py::none();
            return TypesAttr("FileFix")(
                audit::FixOutcomeKey(file.fix), file.fixedSetups,
                file.fixReason.empty() ? py::object(py::none()) : py::str(file.fixReason));
          })
      .def("__repr__", [](const FileObjectRef& self) {
        return "<ornr.AuditedFile " + py::repr(PathObject(self.Get().path)).cast<std::string>() +
               " " + audit::FileStatusKey(self.Get().status) + ">";
      });

  py::class_<SetupRef>(module, "AuditedSetup", R"doc(
A setup of an audited file: its name, its state ("in-step", "library-newer", "changed-here",
"both-changed", "library-gone", "same-name-equal", "same-name-differs", "not-from-library",
"unreadable"), the library setup it is held against (LibraryRef), why the library setup is gone
or the record unreadable, its conflicts, the properties that differ (AuditedProperty, typed
values), and with a fix what the merge does (SetupFix).
)doc")
      .def_property_readonly("name",
                             [](const SetupRef& self) { return TextObject(self.Get().name); })
      .def_property_readonly("state",
                             [](const SetupRef& self) { return audit::StateKey(self.Get().state); })
      .def_property_readonly("library",
                             [](const SetupRef& self) { return LibraryRefOf(self.Get()); })
      .def_property_readonly("reason",
                             [](const SetupRef& self) -> py::object {
                               if (self.Get().reason.empty()) return py::none();
                               return py::str(self.Get().reason);
                             })
      .def_property_readonly("conflicts", [](const SetupRef& self) { return self.Get().conflicts; })
      .def_property_readonly(
          "properties",
          [](const SetupRef& self) {
            const SetupFinding& setup = self.Get();
            const bool sameName = setup.state == audit::SetupState::SameNameDiffers;
            py::object row = TypesAttr("AuditedProperty");
            py::object driftState = TypesAttr("DriftState");
            py::list rows;
            for (const auto& property : setup.properties) {
              rows.append(row(
                  property.property,
                  sameName ? py::object(py::str("differs"))
                           : driftState(ornhost::DriftStateName(property.state)),
                  ValueOfText(property.property, property.here),
                  sameName ? py::object(py::none()) : ValueOfText(property.property, property.base),
                  ValueOfText(property.property, property.library)));
            }
            return rows;
          })
      .def_property_readonly("fix",
                             [](const SetupRef& self) -> py::object {
                               const audit::SetupFix& fix = self.Get().fix;
                               if (fix.action == audit::FixAction::None) return py::none();
                               return TypesAttr("SetupFix")(FixActionKey(fix.action), fix.take,
                                                            fix.keep, fix.undecided, fix.locks,
                                                            fix.overridesDropped);
                             })
      .def_property_readonly(
          "locks",
          [](const SetupRef& self) {
            py::object row = TypesAttr("AuditedLock");
            py::object overrideRow = TypesAttr("Override");
            py::list locks;
            for (const audit::LockFinding& lock : self.Get().locks) {
              py::object override = py::none();
              if (lock.override) {
                const auto text = [](const std::string& value) -> py::object {
                  if (value.empty()) return py::none();
                  return py::str(value);
                };
                override = overrideRow(lock.override->reason, text(lock.override->madeBy),
                                       text(lock.override->madeAt));
              }
              locks.append(row(lock.property, ValueOfText(lock.property, lock.here),
                               ValueOfText(lock.property, lock.library),
                               PathObject(lock.libraryFile), TextObject(lock.librarySetup),
                               lock.reason, lock.changed, override));
            }
            return locks;
          },
          "The locked values it changed or overrides (AuditedLock), in the record's order.")
      .def_property_readonly(
          "locked_values", [](const SetupRef& self) { return self.Get().lockedValues; },
          "How many of its values its library setups lock.")
      .def_property_readonly(
          "locks_changed", [](const SetupRef& self) { return self.Get().LocksChanged(); },
          "How many locked values it changed without an override: violations.")
      .def_property_readonly(
          "overridden", [](const SetupRef& self) { return self.Get().Overridden(); },
          "How many locked values it overrides.")
      .def_property_readonly(
          "file",
          [](const SetupRef& self) { return PathObject(self.result->files[self.file].path); })
      .def("__repr__", [](const SetupRef& self) {
        return py::str("<ornr.AuditedSetup {!r} {}>")
            .format(TextObject(self.Get().name), audit::StateKey(self.Get().state));
      });

  py::class_<FixPreviewObject>(module, "FixPreview", R"doc(
The fix an audit with ``fix=`` planned, before anything is written: ``files`` the design files
it would change, ``setups`` the setups it would merge or put locked values back in (each with the
properties it takes from the library, those it keeps, the locked values it puts back and the
overrides that go), ``skipped`` the files it would not write and why.

``apply()`` writes it: each file in one transaction, with a version of each setup whose values
change (action "audit fix", or "audit lock fix" for locks alone); a file in which another session changed a setup to merge since the
audit read it is skipped, with the reason. It returns the Report of what was done, as
``rsm-audit --fix ... --apply`` makes it. Ctrl-C stops between files (each written file whole)
and raises KeyboardInterrupt. A preview is applied once.
)doc")
      .def_property_readonly("files",
                             [](const FixPreviewObject& self) {
                               return FileList(self.result, [](const FileFinding& file) {
                                 return file.fix == audit::FixOutcome::WouldChange;
                               });
                             })
      .def_property_readonly("skipped",
                             [](const FixPreviewObject& self) {
                               return FileList(self.result, [](const FileFinding& file) {
                                 return file.fix == audit::FixOutcome::Skipped;
                               });
                             })
      .def_property_readonly(
          "setups",
          [](const FixPreviewObject& self) {
            py::list setups;
            const auto& files = self.result->files;
            for (std::size_t f = 0; f < files.size(); ++f) {
              if (files[f].fix != audit::FixOutcome::WouldChange) continue;
              for (std::size_t s = 0; s < files[f].setups.size(); ++s) {
                const audit::FixAction action = files[f].setups[s].fix.action;
                if (action != audit::FixAction::Merge && action != audit::FixAction::Locks) {
                  continue;
                }
                setups.append(SetupRef{self.result, f, s});
              }
            }
            return setups;
          })
      .def_property_readonly("applied",
                             [](const FixPreviewObject& self) { return self.result->applied; })
      .def("apply", &Apply, py::kw_only(), py::arg("jobs") = py::none(),
           py::arg("progress") = py::none(),
           "apply(*, jobs: int | None = None, progress: Callable[[int, int], object] | None = "
           "None) -> Report\n\nWrites the merges the preview holds, each file in one transaction; "
           "returns the Report of what was done.")
      .def("__repr__", [](const FixPreviewObject& self) {
        std::size_t files = 0;
        std::size_t setups = 0;
        for (const FileFinding& file : self.result->files) {
          if (file.fix != audit::FixOutcome::WouldChange) continue;
          ++files;
          setups += file.fixedSetups;
        }
        return "<ornr.FixPreview: " + std::to_string(setups) + " setups in " +
               std::to_string(files) + " files" + (self.result->applied ? ", applied" : "") + ">";
      });
}

}  // namespace ornr::python
