#include "audit/AuditRun.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "audit/FileFix.h"
#include "audit/ProjectWalk.h"

namespace ornr::audit {

namespace {

// How far the workers may run ahead of the reports: the memory of the results not yet reported.
constexpr std::size_t kWindowPerWorker = 16;

struct Shared {
  std::mutex mutex;
  std::condition_variable workerWait;
  std::condition_variable resultReady;
  ProjectWalk* walk = nullptr;
  bool walkDone = false;
  std::size_t nextIndex = 0;
  /// The results not yet reported, by their place in the walk.
  std::map<std::size_t, AuditedEntry> results;
  std::size_t reported = 0;
  std::size_t window = 0;
  unsigned running = 0;
};

AuditedEntry AuditEntry(const ProjectEntry& item, const AuditContext& context) {
  if (!item.skipped.empty()) {
    AuditedEntry entry;
    entry.kind = AuditedEntry::Kind::Skipped;
    entry.finding.path = item.path.string();
    entry.finding.reason = item.skipped;
    return entry;
  }
  if (!item.folderProblem.empty()) {
    AuditedEntry entry;
    entry.kind = AuditedEntry::Kind::Listed;
    entry.finding.path = item.path.string();
    entry.finding.status = FileStatus::Unreadable;
    entry.finding.reason = item.folderProblem;
    return entry;
  }
  AuditedEntry entry = AuditFile(item.path, item.path.string(), item.named, context);
  if ((context.fix || context.fixLocks) && entry.kind == AuditedEntry::Kind::Listed) {
    FixFile(item.path, entry.finding, context.apply,
            context.fix ? ornhost::detail::actions::kAuditFix : kAuditLockFix, context.changeSet);
  }
  return entry;
}

void Work(Shared& shared, const AuditContext& context, const std::atomic<bool>& stop) {
  std::unique_lock lock(shared.mutex);
  for (;;) {
    shared.workerWait.wait(lock, [&] {
      return stop || shared.walkDone || shared.nextIndex < shared.reported + shared.window;
    });
    if (stop || shared.walkDone) break;
    ProjectEntry item;
    if (!shared.walk->Next(item)) {
      shared.walkDone = true;
      break;
    }
    const std::size_t index = shared.nextIndex++;
    lock.unlock();
    AuditedEntry entry = AuditEntry(item, context);
    lock.lock();
    shared.results.emplace(index, std::move(entry));
    shared.resultReady.notify_one();
  }
  --shared.running;
  shared.resultReady.notify_one();
  shared.workerWait.notify_all();
}

}  // namespace

Totals RunAudit(const RunSettings& settings, const AuditContext& context,
                std::vector<Report*> reports, Console& console, const std::atomic<bool>& stop) {
  Totals totals;
  totals.expected = ProjectWalk::Count(settings.roots);
  ProjectWalk walk(settings.roots);
  const unsigned jobs =
      settings.jobs > 0 ? settings.jobs : std::max(1u, std::thread::hardware_concurrency());
  Shared shared;
  shared.walk = &walk;
  shared.window = jobs * kWindowPerWorker;
  shared.running = jobs;
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < jobs; ++i) {
    workers.emplace_back(Work, std::ref(shared), std::cref(context), std::cref(stop));
  }
  const auto report = [&](AuditedEntry& entry) {
    if (entry.kind == AuditedEntry::Kind::Skipped) {
      ++totals.skipped;
      const SkippedEntry skipped{std::move(entry.finding.path), std::move(entry.finding.reason)};
      for (Report* each : reports) each->Skipped(skipped);
      return;
    }
    ++totals.done;
    switch (entry.kind) {
      case AuditedEntry::Kind::Library:
        ++totals.librariesSkipped;
        return;
      case AuditedEntry::Kind::Other:
        ++totals.otherFiles;
        return;
      case AuditedEntry::Kind::Listed:
      case AuditedEntry::Kind::Skipped:
        break;
    }
    totals.Add(entry.finding);
    if (reports.empty()) return;
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) reports[i]->File(entry.finding);
    reports.back()->Keep(std::move(entry.finding));
  };
  console.Progress(0, totals.expected);
  std::unique_lock lock(shared.mutex);
  for (;;) {
    // Wakes for results, and now and then to redraw the progress and notice a stop.
    shared.resultReady.wait_for(lock, std::chrono::milliseconds(100));
    if (stop) shared.workerWait.notify_all();
    for (auto next = shared.results.find(shared.reported); next != shared.results.end();
         next = shared.results.find(shared.reported)) {
      AuditedEntry entry = std::move(next->second);
      shared.results.erase(next);
      ++shared.reported;
      lock.unlock();
      report(entry);
      lock.lock();
      shared.workerWait.notify_all();
    }
    // The walk can yield more than counted when files came meanwhile.
    totals.expected = std::max(totals.expected, totals.done);
    lock.unlock();
    console.Progress(totals.done, totals.expected);
    lock.lock();
    if (shared.running == 0 && shared.results.empty()) break;
    if (shared.running == 0 && stop) break;
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
  // Stopped: what was finished after a file still unfinished counts too.
  for (auto& [index, entry] : shared.results) report(entry);
  // Stopped with nothing left to read is no partial run.
  ProjectEntry left;
  totals.partial = stop && !shared.walkDone && walk.Next(left);
  console.EndProgress();
  return totals;
}

}  // namespace ornr::audit
