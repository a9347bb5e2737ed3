// How long a load of many setups takes, from the store through the document into the panel,
// and what it costs per setup.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/OrnSettings.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "platform/HostControls.h"
#include "support/Utf.h"

namespace {

std::filesystem::path MasterWith(int setups) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("ornr-bench-" + std::to_string(getpid()) + "-" + std::to_string(setups) + ".zel");
  if (std::filesystem::exists(path)) return path;
  Teskor::ZelPlatform::OrnSettings settings;
  for (int i = 0; i < setups; ++i) {
    settings.SetBlurPasses(static_cast<std::uint32_t>(i));
    ornhost::WriteSetup(path, ornr::Utf8ToUtf16("Setup " + std::to_string(i)), settings);
  }
  return path;
}

void BM_LoadAllSetups(benchmark::State& state) {
  const int setups = static_cast<int>(state.range(0));
  const auto path = MasterWith(setups);
  ornhost::ResetAll();
  Teskor::RenderSetup::View::MainPanel::Reset();
  ornhost::OpenMaster(path);
  ornR_Init();
  std::size_t documentBytes = 0;
  Teskor::RenderSetup::View::MainPanel::SetDocumentObserver(
      [&](const Teskor::RenderSetup::String& xml) { documentBytes = xml ? xml->size() * 2 : 0; });
  for (auto _ : state) {
    ornR_LoadAllSetups(true);
  }
  state.SetItemsProcessed(state.iterations() * setups);
  state.counters["document_MiB"] = static_cast<double>(documentBytes) / (1024.0 * 1024.0);
  ornR_Release();
  ornhost::ResetAll();
  Teskor::RenderSetup::View::MainPanel::Reset();
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadAllSetups)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
