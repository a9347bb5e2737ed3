// Import of a large setups document into a new design file, in a fresh process: its time beside
// the JSON library's own event parse of the same file with nothing kept, and its peak memory
// beside the size of the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"
#include "host/controls/HostControls.h"

namespace ornr::bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

void AppendSettings(std::string& text, const Teskor::ZelPlatform::OrnSettings& settings,
                    const std::string& indent) {
  text += "{\n";
  const auto values = ornhost::SettingTexts(settings);
  for (std::size_t i = 0; i < values.size(); ++i) {
    text += indent + "  \"" + values[i].first + "\": " + values[i].second +
            (i + 1 < values.size() ? ",\n" : "\n");
  }
  text += indent + "}";
}

// A document of export's form of at least that many bytes, every tenth setup with a source.
std::filesystem::path DocumentOf(std::size_t bytes) {
  const auto path = BenchFolder() / ("import-" + std::to_string(bytes) + ".json");
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path, std::ios::binary);
  out << "{\n  \"format\": \"ornr-render-setups\",\n  \"version\": 1,\n  \"setups\": [";
  std::size_t written = 0;
  std::string text;
  for (int i = 0; written < bytes; ++i) {
    text = i == 0 ? "\n" : ",\n";
    text += "    {\n      \"name\": \"Setup " + std::to_string(i) + "\",\n      \"settings\": ";
    AppendSettings(text, VariedSettings(i), "      ");
    if (i % 10 == 0) {
      text +=
          ",\n      \"source\": {\n        \"libraryFile\": \"library.zel\",\n"
          "        \"libraryPath\": \"/projects/library.zel\",\n"
          "        \"librarySetup\": \"Setup " +
          std::to_string(i) +
          "\",\n        \"takenAt\": \"2026-01-01T00:00:00Z\",\n        \"base\": ";
      AppendSettings(text, VariedSettings(i + 1), "        ");
      text += "\n      }";
    }
    text += "\n    }";
    out << text;
    written += text.size();
  }
  out << "\n  ]\n}\n";
  return path;
}

// Every event taken and dropped.
class NothingKept : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool key(string_t&) override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }
};

struct ImportFigures {
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
};

ImportFigures ImportInChild(const std::filesystem::path& document) {
  const auto target = BenchFolder() / "import-target.zel";
  std::filesystem::remove(target);
  std::istringstream in(RunProgram({Self(), "--child-import", document.string(), target.string()}));
  ImportFigures figures;
  in >> figures.seconds >> figures.cpuSeconds >> figures.peakMiB;
  std::filesystem::remove(target);
  return figures;
}

ImportFigures FloorInChild(const std::filesystem::path& document) {
  std::istringstream in(RunProgram({Self(), "--child-import-floor", document.string()}));
  ImportFigures figures;
  in >> figures.seconds >> figures.cpuSeconds;
  return figures;
}

void Import(benchmark::State& state, int megabytes) {
  const auto document = DocumentOf(std::size_t(megabytes) * 1000 * 1000);
  double import = 0, floor = 0, importCpu = 0, floorCpu = 0, peak = 0;
  for (auto _ : state) {
    const ImportFigures figures = ImportInChild(document);
    const ImportFigures bare = FloorInChild(document);
    if (figures.seconds <= 0 || bare.seconds <= 0) {
      state.SkipWithError("a child process gave no figures");
      return;
    }
    import += figures.seconds;
    floor += bare.seconds;
    importCpu += figures.cpuSeconds;
    floorCpu += bare.cpuSeconds;
    peak = std::max(peak, figures.peakMiB);
    state.SetIterationTime(figures.seconds);
  }
  const double fileMiB = double(std::filesystem::file_size(document)) / kMiB;
  state.counters["import_ms"] = import / state.iterations() * 1e3;
  state.counters["floor_ms"] = floor / state.iterations() * 1e3;
  state.counters["ratio"] = import / floor;
  // Without the waits for the disk (the import syncs what it stored) and for the shared machine.
  state.counters["import_cpu_ms"] = importCpu / state.iterations() * 1e3;
  state.counters["floor_cpu_ms"] = floorCpu / state.iterations() * 1e3;
  state.counters["cpu_ratio"] = importCpu / floorCpu;
  state.counters["peak_MiB"] = peak;
  state.counters["file_MiB"] = fileMiB;
  state.counters["memory_ratio"] = peak / fileMiB;
}

}  // namespace

int RunImportChild(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child-import") == 0) {
    const double t0 = WallSeconds(), c0 = CpuSeconds();
    const auto stored = ornhost::ImportSetups(argv[3], argv[2], false);
    const double t1 = WallSeconds(), c1 = CpuSeconds();
    if (stored.empty()) return 1;
    std::printf("%.6f %.6f %.3f\n", t1 - t0, c1 - c0, PeakMiB());
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--child-import-floor") == 0) {
    const double t0 = WallSeconds(), c0 = CpuSeconds();
    std::ifstream in(argv[2], std::ios::binary);
    std::string text(std::filesystem::file_size(argv[2]), '\0');
    in.read(text.data(), std::streamsize(text.size()));
    NothingKept nothing;
    const bool parsed = nlohmann::json::sax_parse(text, &nothing);
    const double t1 = WallSeconds(), c1 = CpuSeconds();
    if (!parsed) return 1;
    std::printf("%.6f %.6f\n", t1 - t0, c1 - c0);
    return 0;
  }
  return -1;
}

void RegisterImportBenchmarks(const Sizes& sizes) {
  benchmark::RegisterBenchmark(("Import/" + std::to_string(sizes.importMB)).c_str(), Import,
                               sizes.importMB)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(sizes.quick ? 1 : 3);
}

}  // namespace ornr::bench
