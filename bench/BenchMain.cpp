// ornr-bench: every benchmark, then one table of each stage against its floor or its pair.
//   ornr-bench            1,000 and 10,000 setups
//   ornr-bench --small    every benchmark once at a small size (a check that none has rotted)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "bench/Bench.h"

namespace {

using Counters = std::map<std::string, double>;

// Keeps the counters of each benchmark (by its name up to the first '/'; the last size wins)
// and prints the table after the usual report.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      std::string name = run.benchmark_name();
      Counters& counters = byName_[name.substr(0, name.find('/'))];
      const std::size_t second = name.find('/', name.find('/') + 1);
      counters["size"] = std::atof(name.substr(name.find('/') + 1, second).c_str());
      for (const auto& [key, counter] : run.counters) counters[key] = counter.value;
      // "Command/save/100vs10000/...": one entry per command; "HistorySave/100/...": per size.
      if (name.rfind("Command/", 0) == 0) {
        byName_[name.substr(0, name.find('/', second + 1))] = counters;
      }
      if (name.rfind("HistorySave/", 0) == 0) byName_[name.substr(0, second)] = counters;
      // "Audit/2000/...": one entry per size.
      if (name.rfind("Audit/", 0) == 0) byName_[name.substr(0, second)] = counters;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n| Measurement | Now | Paired with | Ratio | Target | Met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    Row("HostOpen", "Host opens the master file", "stage_ms", "floor_ms", "ms", 1.5,
        "one SELECT of all rows + parsing the fields");
    Row("DocumentBuild", "Document build (WriteSetup x N)", "stage_ms", "floor_ms", "ms", 2.0,
        "pugixml building the same document");
    Row("Serialization", "Serialization (GetRootXml)", "stage_ms", "floor_ms", "ms", 1.3,
        "pugixml printing it");
    Row("PanelIntake", "Panel takes the document", "stage_ms", "floor_ms", "ms", 1.5,
        "pugixml parse + one walk");
    Row("WholeLoad", "Whole warm ornR_LoadAllSetups(true)", "stage_ms", "floor_ms", "ms", 2.0,
        "sum of the floors");
    Row("FirstVsWarmLoad", "First load in a fresh process", "first_ms", "warm_ms", "ms", 1.3,
        "warm load");
    Row("FirstVsWarmLoad", "Peak memory (MiB)", "peak_MiB", "document_MiB", "", 8.0,
        "UTF-8 document text (MiB)", "memory_ratio");
    Row("EditLatency", "One panel edit, last setup (us)", "last_us", "first_us", "", 1.5,
        "first setup (us)");
    Row("NewAfterGenerated", "`new` after generated names (CPU us)", "after_us", "first_us", "",
        1.5, "the first name (CPU us)");
    Row("DuplicateAfterGenerated", "`duplicate` after generated names (CPU us)", "after_us",
        "first_us", "", 1.5, "the first name (CPU us)");
    Row("WorkbenchList", "rsm-workbench --master M -c list", "process_ms", "floor_ms", "ms", 1.5,
        "the same work in one process");
    Row("Import", "Import of a setups document (size in MB)", "import_ms", "floor_ms", "ms", 2.0,
        "the JSON library's event parse of it, nothing kept");
    Row("Import", "Import of a setups document, CPU (size in MB)", "import_cpu_ms", "floor_cpu_ms",
        "ms", 2.0, "the same parse, CPU", "cpu_ratio");
    Row("Import", "Import's peak memory (MiB)", "peak_MiB", "file_MiB", "", 2.0,
        "the document's size (MiB)", "memory_ratio");
    Row("DoubleSize", "Opening twice the setups (open, init, load)", "double_ms", "single_ms", "ms",
        2.2, "the single size");
    for (const auto& [name, c] : byName_) {
      if (name.rfind("Audit/", 0) != 0) continue;
      const int files = static_cast<int>(c.at("files"));
      Row(name, "rsm-audit, " + std::to_string(files) + " design files of 20 setups", "stage_ms",
          "floor_ms", "ms", 2.0, "one process reading every row");
      std::printf(
          "| rsm-audit peak memory, %d files | %.3g MiB | the limit: 100 MiB | | < 100 MiB "
          "| %s |\n",
          files, c.at("peak_MiB"), c.at("peak_MiB") < 100 ? "yes" : "NO");
      const double cores = c.at("cores"), floorCores = c.at("floor_cores");
      std::printf(
          "| rsm-audit cores busy (CPU / wall time), %d files | %.2f | the floor's one thread: "
          "%.2f (%u cores) | %.2fx | every core | %s |\n",
          files, cores, floorCores, std::thread::hardware_concurrency(), cores / floorCores,
          cores / floorCores >= 0.8 * std::thread::hardware_concurrency() ? "yes" : "NO");
    }
    for (const char* command : {"save", "reset", "rename", "delete"}) {
      for (const auto& [name, counters] : byName_) {
        if (name.rfind(std::string("Command/") + command + "/", 0) != 0) continue;
        std::string label = "`";
        label.append(command).append("` at the large size (CPU us)");
        std::string sizes = "sizes ";
        sizes.append(name.substr(name.rfind('/') + 1)).append(", the small one (CPU us)");
        Row(name, label, "large_us", "small_us", "", 1.5, sizes);
      }
    }
    for (const auto& [name, counters] : byName_) {
      if (name.rfind("HistorySave/", 0) != 0) continue;
      Row(name, "Save of a changed value with history (us)", "history_us", "none_us", "", 1.5,
          "history-limit 0 (us)");
    }
    if (const auto found = byName_.find("HistoryBytes"); found != byName_.end()) {
      Counters& c = found->second;
      std::printf(
          "| Bytes a one-value change adds [%d] | %.0f bytes | a whole setup row: %.0f bytes"
          " (without history: %.0f bytes a change) | %.2fx | <= 200 bytes | %s |\n",
          static_cast<int>(c["size"]), c["bytes_per_change"], c["row_bytes"],
          c["bytes_without_history"], c["ratio"], c["bytes_per_change"] <= 200 ? "yes" : "NO");
    }
    for (const char* key : {"HistoryList", "HistoryDiff"}) {
      const auto found = byName_.find(key);
      if (found == byName_.end()) continue;
      Counters& c = found->second;
      std::printf(
          "| `%s` of one setup [%d setups, 50 versions each] | %.3g ms | one SELECT of its"
          " versions: %.3g ms | %.2fx | < 10 ms | %s |\n",
          std::string(key) == "HistoryList" ? "history NAME" : "diff NAME --version 1 NAME",
          static_cast<int>(c["size"]), c["stage_ms"], c["floor_ms"], c["ratio"],
          c["stage_ms"] < 10 ? "yes" : "NO");
    }
  }

 private:
  void Row(const std::string& key, const std::string& what, const char* now, const char* paired,
           const char* unit, double target, const std::string& pairedWhat,
           const char* ratioKey = "ratio") {
    const auto found = byName_.find(key);
    if (found == byName_.end()) return;
    Counters& c = found->second;
    const double ratio = c[ratioKey];
    std::string label = what;
    if (c["size"] > 0 && key.rfind("Command/", 0) != 0 && key.rfind("Audit/", 0) != 0) {
      label += " [" + std::to_string(static_cast<int>(c["size"])) + "]";
    }
    std::printf("| %s | %.3g %s | %s: %.3g %s | %.2fx | <= %.1fx | %s |\n", label.c_str(), c[now],
                unit, pairedWhat.c_str(), c[paired], unit, ratio, target,
                ratio <= target ? "yes" : "NO");
  }

  std::map<std::string, Counters> byName_;
};

}  // namespace

int main(int argc, char** argv) {
  if (const int status = ornr::bench::RunChild(argc, argv); status >= 0) return status;
  if (const int status = ornr::bench::RunCommandChild(argc, argv); status >= 0) return status;
  if (const int status = ornr::bench::RunImportChild(argc, argv); status >= 0) return status;
  if (const int status = ornr::bench::RunHistoryChild(argc, argv); status >= 0) return status;
  if (const int status = ornr::bench::RunAuditChild(argc, argv); status >= 0) return status;
  ornr::bench::Sizes sizes{{1000, 10000}, 10000, 100, 400, false};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--small") == 0) {
      sizes = {{100}, 200, 20, 10, true, 1};
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  ornr::bench::RegisterStageBenchmarks(sizes);
  ornr::bench::RegisterProcessBenchmarks(sizes);
  ornr::bench::RegisterCommandBenchmarks(sizes);
  ornr::bench::RegisterImportBenchmarks(sizes);
  ornr::bench::RegisterHistoryBenchmarks(sizes);
  ornr::bench::RegisterAuditBenchmarks(sizes);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
