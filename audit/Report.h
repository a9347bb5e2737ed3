// The reports of a run: each hears of every file as it is done, in the order of the walk, and of
// the totals at the end.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audit/Findings.h"
#include "audit/Totals.h"
#include "support/OutputFile.h"

namespace ornr::audit {

/// What a report says about the run itself.
struct RunInfo {
  /// The command line as given, and the folder it ran in.
  std::vector<std::string> command;
  std::string folder;
  /// The PATHs audited, as given.
  std::vector<std::string> paths;
  /// UTC, "2026-12-06T00:15:02Z", and the same in local time for people, "2026-12-06 01:15 CET".
  std::string startedAt;
  std::string startedLocal;
  std::string finishedAt;
  struct Library {
    std::string file;
    std::string path;
  };
  std::vector<Library> libraries;
  /// --fix merge: conflicts taken from "library", "local" or undecided (""); apply writes.
  bool fix = false;
  std::string take;
  bool apply = false;
  /// --fix locks, --include-overrides; --strict.
  bool fixLocks = false;
  bool includeOverrides = false;
  bool strict = false;

  bool Fixes() const { return fix || fixLocks; }
  /// With apply: the id of the change set the files written record.
  std::string changeSet;
  /// The exit status the run ends with.
  int exitStatus = 0;
};

/// An entry of a folder that the walk does not read (a FIFO, a link to nothing), and why.
struct SkippedEntry {
  std::string path;
  std::string reason;
};

class Report {
 public:
  virtual ~Report() = default;
  virtual void File(const FileFinding& file) = 0;
  /// The same for the last report to hear of the file: one that keeps it may take it whole.
  virtual void Keep(FileFinding&& file) { File(file); }
  /// In the order of the walk, among the files.
  virtual void Skipped(const SkippedEntry& entry) = 0;
  /// After the last file; totals.partial when the run stopped early. Throws ReportError.
  virtual void End(const RunInfo& run, const Totals& totals) = 0;
};

class ReportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A report's file: written as ornr::OutputFile writes, so that a report is never found
/// half-written and a device, FIFO or link named for it stays what it is.
class ReportFile {
 public:
  /// Throws ReportError when the file cannot be written there.
  explicit ReportFile(const std::filesystem::path& path);

  void Write(std::string_view text) { file_->Write(text); }
  /// Writes what is left and puts the report in place. Throws ReportError.
  void Commit();
  const std::filesystem::path& Path() const { return file_->Path(); }

 private:
  std::unique_ptr<OutputFile> file_;
};

/// One line of the command as a shell would take it back: words quoted where needed.
std::string ShellCommand(const std::vector<std::string>& words);

std::unique_ptr<Report> MakeJsonReport(const std::filesystem::path& path);
/// The same report, its text appended to out as it is made.
std::unique_ptr<Report> MakeJsonReport(std::string& out);
std::unique_ptr<Report> MakeCsvReport(const std::filesystem::path& path);
/// fix: a fix was asked for, so each setup's row says what it does (apply: did).
std::unique_ptr<Report> MakeHtmlReport(const std::filesystem::path& path, bool fix, bool apply);

}  // namespace ornr::audit
