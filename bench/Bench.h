// What the benchmark files share: the sizes of this run, clocks and the registration of each file.
#pragma once

#include <time.h>

#include <chrono>
#include <string>
#include <vector>

namespace ornr::bench {

/// The sizes of one run: full (1,000 and 10,000 setups) or small, for a check that nothing rots.
struct Sizes {
  std::vector<int> stages;  // setups per stage benchmark
  int large = 10000;        // the size of the single-size measurements
  int small = 100;          // the small size of the "100 vs 10,000" pairs
  int generated = 400;      // generated names before new/duplicate
  bool quick = false;       // one iteration each
  int importMB = 100;       // the size of the document the import benchmark imports
};

inline double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// User and system time of the whole process: what a command costs without the disk's waits.
inline double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void RegisterStageBenchmarks(const Sizes& sizes);
void RegisterCommandBenchmarks(const Sizes& sizes);
void RegisterProcessBenchmarks(const Sizes& sizes);
void RegisterImportBenchmarks(const Sizes& sizes);
void RegisterHistoryBenchmarks(const Sizes& sizes);
void RegisterAuditBenchmarks(const Sizes& sizes);

/// Runs the child side of a process benchmark when argv asks for it; returns its exit status, or
/// -1 when this is no child.
int RunChild(int argc, char** argv);
/// The same for the child side of a command comparison.
int RunCommandChild(int argc, char** argv);
/// The same for the import and its floor.
int RunImportChild(int argc, char** argv);

/// The high-water mark of this process's own resident memory.
double PeakMiB();
/// The same for the child side of a save with and without history.
int RunHistoryChild(int argc, char** argv);
/// The same for the child that runs rsm-audit and reports its time and peak memory.
int RunAuditChild(int argc, char** argv);

}  // namespace ornr::bench
