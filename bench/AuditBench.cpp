// rsm-audit over a project of many design files against its floor: one process (this one)
// opening each file and reading every row of every table with SQLite's C API. The audit runs as
// its own process, started from a fresh child of this program so that its peak memory is its own.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench/AuditFiles.h"
#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"

namespace ornr::bench {

namespace {

std::filesystem::path Library() {
  return AuditLibrary(BenchFolder());
}

std::filesystem::path Project(int count) {
  return AuditProject(BenchFolder(), count);
}

// The floor: every row of every table of every file, each value read once.
std::size_t ReadEveryRow(const std::filesystem::path& folder) {
  std::size_t checksum = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(entry.path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      continue;
    }
    std::vector<std::string> tables;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type = 'table'", -1, &stmt,
                       nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    for (const std::string& table : tables) {
      sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\"").c_str(), -1, &stmt, nullptr);
      while (sqlite3_step(stmt) == SQLITE_ROW) {
        const int columns = sqlite3_column_count(stmt);
        for (int c = 0; c < columns; ++c) {
          switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
              checksum += static_cast<std::size_t>(sqlite3_column_int64(stmt, c));
              break;
            case SQLITE_FLOAT:
              checksum += static_cast<std::size_t>(sqlite3_column_double(stmt, c));
              break;
            default:
              checksum += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
          }
        }
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
  }
  return checksum;
}

struct AuditFigures {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
  int status = -1;
};

AuditFigures RunAudit(const std::filesystem::path& folder) {
  std::istringstream in(RunProgram({Self(), "--child-audit", ORNR_AUDIT_PATH, "--library",
                                    Library().string(), folder.string()}));
  AuditFigures f;
  in >> f.wallSeconds >> f.cpuSeconds >> f.peakMiB >> f.status;
  return f;
}

void Audit(benchmark::State& state, int count) {
  const auto folder = Project(count);
  ReadEveryRow(folder);  // both sides start with the files in the page cache
  double audit = 0, floor = 0, floorCpu = 0, cpu = 0, peak = 0;
  for (auto _ : state) {
    const double t0 = WallSeconds();
    const double c0 = CpuSeconds();
    benchmark::DoNotOptimize(ReadEveryRow(folder));
    const double t1 = WallSeconds();
    floorCpu += CpuSeconds() - c0;
    const AuditFigures f = RunAudit(folder);
    if (f.status != 1) {
      state.SkipWithError(("rsm-audit ended with status " + std::to_string(f.status)).c_str());
      return;
    }
    floor += t1 - t0;
    audit += f.wallSeconds;
    cpu += f.cpuSeconds;
    peak = std::max(peak, f.peakMiB);
    state.SetIterationTime(f.wallSeconds);
  }
  state.counters["stage_ms"] = 1000 * audit / static_cast<double>(state.iterations());
  state.counters["floor_ms"] = 1000 * floor / static_cast<double>(state.iterations());
  state.counters["ratio"] = audit / floor;
  state.counters["cores"] = cpu / audit;
  // On a shared machine a core is not all one's own: the floor's single thread shows the share
  // one core gave in the same run.
  state.counters["floor_cores"] = floorCpu / floor;
  state.counters["peak_MiB"] = peak;
  state.counters["files"] = count;
}

}  // namespace

int RunAuditChild(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "--child-audit") != 0) return -1;
  const double start = WallSeconds();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double wall = WallSeconds() - start;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  // This child is a fresh, small image: the audit's peak is its own (ru_maxrss in KiB).
  std::printf("%.6f %.6f %.3f %d\n", wall, cpu, static_cast<double>(usage.ru_maxrss) / 1024.0,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}

void RegisterAuditBenchmarks(const Sizes& sizes) {
  const int runs = sizes.quick ? 1 : 3;
  for (const int count : sizes.quick ? std::vector<int>{40} : std::vector<int>{500, 2000}) {
    benchmark::RegisterBenchmark(("Audit/" + std::to_string(count)).c_str(), Audit, count)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(runs);
  }
}

}  // namespace ornr::bench
