// rsm-audit: every design file of a project held against the design libraries, in one run.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>

#include "audit/AuditOptions.h"
#include "audit/AuditRun.h"
#include "audit/ChangeSetRun.h"
#include "audit/Console.h"
#include "audit/StopSignals.h"
#include "audit/TerminalReport.h"
#include "host/controls/HostControls.h"
#include "host/store/ChangeSetTable.h"
#include "host/store/VersionTable.h"

namespace {

using namespace ornr::audit;

constexpr int kUsage = 2;
constexpr int kUnreadable = 3;

std::string TimeText(std::time_t when, bool local) {
  std::tm parts{};
  if (local) {
    localtime_r(&when, &parts);
  } else {
    gmtime_r(&when, &parts);
  }
  char text[64];
  std::strftime(text, sizeof text, local ? "%Y-%m-%d %H:%M %Z" : "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "rsm-audit: %s\nTry \"rsm-audit --help\".\n", message.c_str());
  return kUsage;
}

int Run(int argc, char** argv) {
  AuditOptions options;
  try {
    options = ParseAuditOptions(argc, argv);
  } catch (const UsageError& error) {
    return Usage(error.what());
  }
  if (options.help) {
    std::fputs(AuditUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(AuditVersion().c_str(), stdout);
    return 0;
  }
  for (const auto& path : options.paths) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
      return Usage(path.string() + ": no such file or folder");
  }

  RunInfo run;
  for (int i = 0; i < argc; ++i) run.command.emplace_back(argv[i]);
  if (options.changes || !options.undo.empty() || !options.forget.empty() ||
      !options.deploy.empty()) {
    const std::atomic<bool>& stop = CatchStopSignals();
    Console console(Console::DefaultStyle());
    const int status = RunChangeSets(options, run.command, console, stop);
    std::fflush(stdout);
    return status;
  }
  for (const auto& path : options.paths) run.paths.push_back(path.string());
  std::error_code ec;
  run.folder = std::filesystem::current_path(ec).string();
  const std::time_t started = std::time(nullptr);
  run.startedAt = TimeText(started, false);
  run.startedLocal = TimeText(started, true);
  run.fix = options.fix;
  run.fixLocks = options.fixLocks;
  run.includeOverrides = options.includeOverrides;
  run.strict = options.strict;
  run.take = options.take == ornhost::MergeTake::Library ? "library"
             : options.take == ornhost::MergeTake::Local ? "local"
                                                         : "";

  std::unique_ptr<ornhost::LibraryShelf> shelf;
  AuditContext context;
  try {
    shelf = std::make_unique<ornhost::LibraryShelf>(options.libraries);
  } catch (const ornhost::DesignFileError& error) {
    return Usage(std::string("--library ") + error.what());
  }
  for (const auto& library : options.libraries) {
    struct stat info {};
    if (stat(library.c_str(), &info) == 0)
      context.libraryFiles.emplace_back(info.st_dev, info.st_ino);
    run.libraries.push_back({library.filename().string(),
                             std::filesystem::absolute(library, ec).lexically_normal().string()});
  }
  context.shelf = shelf.get();
  context.fix = options.fix;
  context.take = options.take;
  context.apply = options.apply;
  context.fixLocks = options.fixLocks;
  context.includeOverrides = options.includeOverrides;
  run.apply = options.apply;
  ornhost::detail::ChangeSetHeader changeSet;
  if (options.apply) {
    changeSet = {ornhost::detail::NewChangeSetId(), ornhost::detail::UtcNow(),
                 ornhost::detail::OsUser(), ShellCommand(run.command)};
    context.changeSet = &changeSet;
    run.changeSet = changeSet.id;
  }

  std::vector<std::unique_ptr<Report>> files;
  std::vector<std::string> names;
  try {
    if (options.json) files.push_back(MakeJsonReport(*options.json));
    if (options.csv) files.push_back(MakeCsvReport(*options.csv));
    if (options.html)
      files.push_back(
          MakeHtmlReport(*options.html, options.fix || options.fixLocks, options.apply));
  } catch (const ReportError& error) {
    return Usage(error.what());
  }
  for (const auto* path : {&options.json, &options.csv, &options.html}) {
    if (*path) names.push_back((*path)->string());
  }

  const std::atomic<bool>& stop = CatchStopSignals();
  Console console(Console::DefaultStyle());
  auto terminal = MakeTerminalReport(console, names);
  std::vector<Report*> reports;
  for (const auto& file : files) reports.push_back(file.get());
  reports.push_back(terminal.get());

  Totals totals = RunAudit({options.paths, options.jobs}, context, reports, console, stop);
  run.finishedAt = TimeText(std::time(nullptr), false);
  if (totals.partial) totals.stopReason = StopSignalName();
  const int signal = StopSignal();
  run.exitStatus =
      totals.partial ? 128 + (signal != 0 ? signal : SIGINT) : totals.ExitStatus(options.strict);
  // A report named /dev/stdout follows the table so far.
  std::fflush(stdout);
  for (const auto& file : files) {
    try {
      file->End(run, totals);
    } catch (const ReportError& error) {
      console.Err(std::string("rsm-audit: ") + error.what());
      if (!totals.partial) run.exitStatus = kUnreadable;
    }
  }
  terminal->End(run, totals);
  std::fflush(stdout);
  return run.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
  // Before SQLite starts. Its memory statistics take one lock around every allocation of every
  // thread, and the workers allocate all the time; only a program may turn them off for its
  // process, never a library that may share SQLite with others.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rsm-audit: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "rsm-audit: stopped by an unknown failure\n");
  }
  return kUnreadable;
}
