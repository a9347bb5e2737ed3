// Each stage of a load beside its floor, timed in turn inside every iteration so that both see the
// same machine. The reported time is the stage's; "floor_ms" and "ratio" pair it with its floor.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/Floors.h"
#include "host/OrnSetupManager.h"
#include "host/controls/HostControls.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"
#include "viewmodel/SetupWriter.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr::bench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;

// Accumulates paired times and reports them when the benchmark ends.
class Pair {
 public:
  explicit Pair(benchmark::State& state) : state_(state) {}
  template <typename Floor, typename Stage>
  void Run(Floor&& floor, Stage&& stage) {
    double t0 = WallSeconds();
    floor();
    double t1 = WallSeconds();
    stage();
    double t2 = WallSeconds();
    floor_ += t1 - t0;
    stage_ += t2 - t1;
    state_.SetIterationTime(t2 - t1);
  }
  ~Pair() {
    const double n = static_cast<double>(state_.iterations());
    if (n == 0 || floor_ <= 0) return;
    state_.counters["stage_ms"] = stage_ / n * 1e3;
    state_.counters["floor_ms"] = floor_ / n * 1e3;
    state_.counters["ratio"] = stage_ / floor_;
  }

 private:
  benchmark::State& state_;
  double floor_ = 0;
  double stage_ = 0;
};

std::vector<const OrnSetup*> OpenSetups(const std::filesystem::path& path,
                                        std::u16string& fileName) {
  ornhost::ResetAll();
  auto& master = ornhost::OpenMaster(path);
  fileName = master.GetFileName().str();
  std::vector<const OrnSetup*> setups;
  OrnSetupManager::GetManagerR().GetSetupsForFile(setups, master);
  return setups;
}

std::unique_ptr<ViewModelDocument> ModuleDocument(const std::vector<const OrnSetup*>& setups,
                                                  const std::u16string& fileName) {
  auto document = std::make_unique<ViewModelDocument>(std::make_unique<pugi::xml_document>());
  const Teskor::WString storeIn(fileName);
  for (const OrnSetup* setup : setups) {
    WriteSetup(*document, kGroupMasterFile, *setup, storeIn, false, false);
  }
  return document;
}

void HostOpen(benchmark::State& state, int count) {
  const auto path = MasterWith(count);
  ornhost::ResetAll();
  Pair pair(state);
  for (auto _ : state) {
    pair.Run([&] { benchmark::DoNotOptimize(SelectAndParse(path)); },
             [&] { ornhost::OpenMaster(path); });
    ornhost::CloseMaster();
  }
}

void DocumentBuild(benchmark::State& state, int count) {
  std::u16string fileName;
  const auto setups = OpenSetups(MasterWith(count), fileName);
  pugi::xml_document floorDocument;
  BuildDocument(floorDocument, setups, fileName, false);
  if (Utf8ToUtf16(PrintDocument(floorDocument)) != ModuleDocument(setups, fileName)->GetRootXml()) {
    state.SkipWithError("the floor's document differs from the module's");
    return;
  }
  Pair pair(state);
  for (auto _ : state) {
    std::unique_ptr<ViewModelDocument> document;
    pair.Run([&] { BuildDocument(floorDocument, setups, fileName, false); },
             [&] { document = ModuleDocument(setups, fileName); });
  }
  ornhost::ResetAll();
}

void Serialization(benchmark::State& state, int count) {
  std::u16string fileName;
  const auto setups = OpenSetups(MasterWith(count), fileName);
  pugi::xml_document floorDocument;
  BuildDocument(floorDocument, setups, fileName, false);
  const auto document = ModuleDocument(setups, fileName);
  Pair pair(state);
  for (auto _ : state) {
    pair.Run([&] { benchmark::DoNotOptimize(PrintDocument(floorDocument)); },
             [&] { benchmark::DoNotOptimize(document->GetRootXmlUtf8()); });
  }
  ornhost::ResetAll();
}

void PanelIntake(benchmark::State& state, int count) {
  std::u16string fileName;
  const auto setups = OpenSetups(MasterWith(count), fileName);
  const Teskor::RenderSetup::String xml = ModuleDocument(setups, fileName)->GetRootXml();
  // The text the panel gets is the UTF-16 form the bridge hands over.
  MainPanel::Reset();
  // A warm load finds its setups in the panel already.
  MainPanel::ChangeOrnModel(xml);
  Pair pair(state);
  for (auto _ : state) {
    pair.Run([&] { benchmark::DoNotOptimize(ParseAndWalk(*xml)); },
             [&] { MainPanel::ChangeOrnModel(xml); });
  }
  MainPanel::Reset();
  ornhost::ResetAll();
}

void WholeLoad(benchmark::State& state, int count) {
  std::u16string fileName;
  const auto setups = OpenSetups(MasterWith(count), fileName);
  MainPanel::Reset();
  ornR_Init();
  ornR_LoadAllSetups(true);
  pugi::xml_document floorDocument;
  std::string text;
  Pair pair(state);
  for (auto _ : state) {
    pair.Run(
        [&] {
          BuildDocument(floorDocument, setups, fileName, false);
          text = PrintDocument(floorDocument);
          benchmark::DoNotOptimize(ParseAndWalk(Utf8ToUtf16(text)));
        },
        [&] { ornR_LoadAllSetups(true); });
  }
  ornR_Release();
  MainPanel::Reset();
  ornhost::ResetAll();
}

}  // namespace

void RegisterStageBenchmarks(const Sizes& sizes) {
  const std::pair<const char*, void (*)(benchmark::State&, int)> stages[] = {
      {"HostOpen", HostOpen},
      {"DocumentBuild", DocumentBuild},
      {"Serialization", Serialization},
      {"PanelIntake", PanelIntake},
      {"WholeLoad", WholeLoad}};
  for (const auto& [name, function] : stages) {
    for (const int count : sizes.stages) {
      auto* b = benchmark::RegisterBenchmark(
          (std::string(name) + "/" + std::to_string(count)).c_str(), function, count);
      b->UseManualTime()->Unit(benchmark::kMillisecond);
      b->Iterations(sizes.quick ? 1 : 5);
    }
  }
}

}  // namespace ornr::bench
