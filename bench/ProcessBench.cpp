// Measurements that need a fresh process: the first load against a warm one, peak memory, the
// growth from 10,000 to 20,000 setups, and the workbench's "list" against the same work in one
// process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"
#include "bench/Floors.h"
#include "host/OrnSetupManager.h"
#include "host/controls/HostControls.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"

namespace ornr::bench {

namespace {

using Teskor::RenderSetup::View::MainPanel;

struct ChildFigures {
  double openLoadSeconds = 0;  // open, init and the first load, as a host starts
  double firstSeconds = 0;     // the first ornR_LoadAllSetups(true) of the process
  double warmSeconds = 0;      // the same call again
  double peakMiB = 0;
  double documentMiB = 0;  // the UTF-8 text of one load's document
  double firstFaults = 0;  // page faults of the first load
  double warmFaults = 0;
};

ChildFigures MeasureInChild(const std::filesystem::path& file) {
  std::istringstream in(RunProgram({Self(), "--child-load", file.string()}));
  ChildFigures f;
  in >> f.openLoadSeconds >> f.firstSeconds >> f.warmSeconds >> f.peakMiB >> f.documentMiB >>
      f.firstFaults >> f.warmFaults;
  return f;
}

void FirstVsWarmLoad(benchmark::State& state, int count) {
  const auto file = MasterWith(count);
  double first = 0, warm = 0, peak = 0, document = 0, firstFaults = 0, warmFaults = 0;
  for (auto _ : state) {
    const ChildFigures f = MeasureInChild(file);
    if (f.warmSeconds <= 0) {
      state.SkipWithError("the child process gave no figures");
      return;
    }
    first += f.firstSeconds;
    warm += f.warmSeconds;
    peak = std::max(peak, f.peakMiB);
    document = f.documentMiB;
    firstFaults += f.firstFaults;
    warmFaults += f.warmFaults;
    state.SetIterationTime(f.firstSeconds);
  }
  state.counters["first_ms"] = first / state.iterations() * 1e3;
  state.counters["warm_ms"] = warm / state.iterations() * 1e3;
  state.counters["ratio"] = first / warm;
  state.counters["peak_MiB"] = peak;
  state.counters["document_MiB"] = document;
  state.counters["memory_ratio"] = document > 0 ? peak / document : 0;
  state.counters["first_faults"] = firstFaults / state.iterations();
  state.counters["warm_faults"] = warmFaults / state.iterations();
}

void DoubleSize(benchmark::State& state, int count) {
  const auto once = MasterWith(count);
  const auto twice = MasterWith(2 * count);
  double small = 0, large = 0, smallPeak = 0, largePeak = 0;
  for (auto _ : state) {
    const ChildFigures a = MeasureInChild(once);
    const ChildFigures b = MeasureInChild(twice);
    small += a.openLoadSeconds;
    large += b.openLoadSeconds;
    smallPeak = std::max(smallPeak, a.peakMiB);
    largePeak = std::max(largePeak, b.peakMiB);
    state.SetIterationTime(b.openLoadSeconds);
  }
  state.counters["single_ms"] = small / state.iterations() * 1e3;
  state.counters["double_ms"] = large / state.iterations() * 1e3;
  state.counters["ratio"] = small > 0 ? large / small : 0;
  state.counters["double_peak_MiB"] = largePeak;
  state.counters["memory_ratio"] = smallPeak > 0 ? largePeak / smallPeak : 0;
}

void WorkbenchList(benchmark::State& state, int count) {
  const auto file = MasterWith(count);
  const std::string workbench = ORNR_WORKBENCH_PATH;
  double process = 0, floor = 0;
  for (auto _ : state) {
    const double t0 = WallSeconds();
    const std::string out = RunProgram({workbench, "--master", file.string(), "-c", "list"});
    const double t1 = WallSeconds();
    // The same work in one process: read every row, build, print, parse and walk, a line a setup.
    const double t2 = WallSeconds();
    const auto rows = SelectAndParse(file);
    pugi::xml_document document;
    BuildDocument(document, rows, file.u16string(), true);
    const std::u16string text = Utf8ToUtf16(PrintDocument(document));
    benchmark::DoNotOptimize(ParseAndWalk(text));
    std::string lines;
    for (const auto& row : rows) lines += "panel: master setup \"" + Utf16ToUtf8(row.name) + "\"\n";
    benchmark::DoNotOptimize(lines);
    const double t3 = WallSeconds();
    if (out.find("setup") == std::string::npos) {
      state.SkipWithError("the workbench listed no setup");
      return;
    }
    process += t1 - t0;
    floor += t3 - t2;
    state.SetIterationTime(t1 - t0);
  }
  state.counters["process_ms"] = process / state.iterations() * 1e3;
  state.counters["floor_ms"] = floor / state.iterations() * 1e3;
  state.counters["ratio"] = floor > 0 ? process / floor : 0;
}

}  // namespace

namespace {

// The length of the text in UTF-8, counted without a copy that would add to the peak it measures.
std::size_t Utf8Bytes(std::u16string_view text) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (ornr::IsSurrogatePairAt(text, i)) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

}  // namespace

// The high-water mark of this process's own memory. getrusage's ru_maxrss would not do: it keeps
// the larger resident size of the process image that the child replaced, the benchmark's parent.
double PeakMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return static_cast<double>(kib) / 1024.0;
}

int RunChild(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--child-load") != 0) return -1;
  std::size_t documentBytes = 0;
  MainPanel::SetDocumentObserver([&](const Teskor::RenderSetup::TextView& xml) {
    if (xml) documentBytes = Utf8Bytes(*xml);
  });
  const double t0 = WallSeconds();
  ornhost::OpenMaster(argv[2]);
  ornR_Init();
  const double t1 = WallSeconds();
  const long f1 = MinorFaults();
  ornR_LoadAllSetups(true);
  const double t2 = WallSeconds();
  const long f2 = MinorFaults();
  ornR_LoadAllSetups(true);
  const double t3 = WallSeconds();
  const long f3 = MinorFaults();
  std::printf("%.6f %.6f %.6f %.3f %.3f %ld %ld\n", t2 - t0, t2 - t1, t3 - t2, PeakMiB(),
              static_cast<double>(documentBytes) / (1024.0 * 1024.0), f2 - f1, f3 - f2);
  ornR_Release();
  return 0;
}

void RegisterProcessBenchmarks(const Sizes& sizes) {
  const int runs = sizes.quick ? 1 : 3;
  const int large = sizes.large;
  benchmark::RegisterBenchmark(("FirstVsWarmLoad/" + std::to_string(large)).c_str(),
                               FirstVsWarmLoad, large)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(runs);
  benchmark::RegisterBenchmark(("DoubleSize/" + std::to_string(large)).c_str(), DoubleSize, large)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(runs);
  benchmark::RegisterBenchmark(("WorkbenchList/" + std::to_string(large)).c_str(), WorkbenchList,
                               large)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(runs);
}

}  // namespace ornr::bench
