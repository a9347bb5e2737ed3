// Single commands at two sizes, to show whether their cost depends on the number of setups or of
// generated names. Both sides run in alternating blocks so that both see the same machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>

#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"
#include "host/controls/HostControls.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"

namespace ornr::bench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;

void OpenWithModule(const std::filesystem::path& path) {
  ornR_Release();
  ornhost::ResetAll();
  MainPanel::Reset();
  ornhost::OpenMaster(path);
  ornR_Init();
  ornR_LoadAllSetups(false);
}

void CloseModule() {
  ornR_Release();
  ornhost::ResetAll();
  MainPanel::Reset();
}

// One side of a comparison: the file it runs on and the command with its names, which a fresh
// process runs, so that neither size runs in a heap the other has grown and left.
struct Side {
  std::filesystem::path file;
  std::vector<std::string> command;  // kind, then its names (UTF-8)
  double seconds = 0;
  int runs = 0;
};

// What a child times, and what it prepares and undoes untimed around each command.
struct Actions {
  std::function<void()> prepare, command, undo;
};

Actions ActionsOf(const std::string& kind, const std::u16string& name, const std::u16string& made) {
  if (kind == "save") return {{}, [name] { ornR_SaveSetup(name.c_str()); }, {}};
  if (kind == "reset") return {{}, [name] { ornR_ResetSetup(name.c_str()); }, {}};
  if (kind == "rename") {
    return {{},
            [name, made] { ornR_RenameSetup(name.c_str(), made.c_str()); },
            [name, made] { ornR_RenameSetup(made.c_str(), name.c_str()); }};
  }
  // What is deleted is a setup the module made, so its lists are in step with the file.
  if (kind == "delete") {
    return {
        [name] { ornR_NewSetup(name.c_str()); }, [made] { ornR_DeleteSetup(made.c_str()); }, {}};
  }
  if (kind == "new") {
    return {
        {}, [name] { ornR_NewSetup(name.c_str()); }, [made] { ornR_DeleteSetup(made.c_str()); }};
  }
  return {{},
          [name] { ornR_DuplicateSetup(name.c_str()); },
          [made] { ornR_DeleteSetup(made.c_str()); }};
}

// Runs the two sides in alternating blocks, each in a fresh process, CPU time only (the disk's
// waits are not the module's), each block after an untimed first command.
void Compare(benchmark::State& state, Side& a, Side& b, const char* aName, const char* bName) {
  const int block = state.range(0);
  for (auto _ : state) {
    for (Side* side : {&a, &b}) {
      std::vector<std::string> args{Self(), "--child-command", side->file.string(),
                                    std::to_string(block)};
      args.insert(args.end(), side->command.begin(), side->command.end());
      std::istringstream in(RunProgram(args));
      double seconds = 0;
      int runs = 0;
      if (!(in >> seconds >> runs) || runs != block) {
        state.SkipWithError("a command's child process gave no figures");
        return;
      }
      side->seconds += seconds;
      side->runs += runs;
    }
    state.SetIterationTime(b.seconds / std::max(b.runs, 1) * block);
  }
  const double aUs = a.seconds / std::max(a.runs, 1) * 1e6;
  const double bUs = b.seconds / std::max(b.runs, 1) * 1e6;
  state.counters[std::string(aName) + "_us"] = aUs;
  state.counters[std::string(bName) + "_us"] = bUs;
  state.counters["ratio"] = aUs > 0 ? bUs / aUs : 0;
}

std::vector<std::u16string> Names(const std::string& stem, int first, int count, bool dash) {
  std::vector<std::u16string> names;
  for (int i = first; i < first + count; ++i) {
    if (i == 0 && dash) {
      names.push_back(Utf8ToUtf16(stem));
    } else {
      names.push_back(Utf8ToUtf16(stem + (dash ? "-" : " ") + std::to_string(i)));
    }
  }
  return names;
}

// "Sky" plus count names, either padding or the names new/duplicate would generate first.
std::filesystem::path SkyWith(const std::string& tag, std::vector<std::u16string> names) {
  names.insert(names.begin(), u"Sky");
  return FileWith(tag, names);
}

void GeneratedNames(benchmark::State& state, bool duplicate, int generated) {
  std::vector<std::u16string> taken;
  if (duplicate) {
    taken = {u"Sky - Copy"};
    for (int i = 2; i <= generated; ++i)
      taken.push_back(u"Sky - Copy-" + Utf8ToUtf16(std::to_string(i)));
  } else {
    taken = Names("Untitled", 0, generated, true);
  }
  const std::string kind = duplicate ? "duplicate" : "new";
  const std::string made = duplicate ? "Sky - Copy" : "Untitled";
  const std::string madeAfter =
      made + (duplicate ? "-" + std::to_string(generated + 1) : "-" + std::to_string(generated));
  Side none{SkyWith(kind + "-none-" + std::to_string(generated), Names("Pad", 0, generated, false)),
            {kind, "Sky", made}};
  Side many{SkyWith(kind + "-many-" + std::to_string(generated), taken), {kind, "Sky", madeAfter}};
  Compare(state, none, many, "first", "after");
}

// A command on the middle setup of a file of the small and of the large size.
void AtTwoSizes(benchmark::State& state, const Sizes& sizes, const std::string& command) {
  Side small{MasterWith(sizes.small), {}};
  Side large{MasterWith(sizes.large), {}};
  for (auto [side, count] : {std::pair{&small, sizes.small}, std::pair{&large, sizes.large}}) {
    const std::string name = "Setup " + std::to_string(count / 2);
    side->command = {command, name, command == "delete" ? "Untitled" : name + " renamed"};
  }
  Compare(state, small, large, "small", "large");
}

void EditLatency(benchmark::State& state, int count) {
  OpenWithModule(MasterWith(count));
  auto& viewModel = MainPanel::Instance().ViewModel();
  const std::u16string first = u"Setup 0";
  const std::u16string last = u"Setup " + Utf8ToUtf16(std::to_string(count - 1));
  double firstSeconds = 0;
  double lastSeconds = 0;
  std::uint32_t value = 0;
  for (auto _ : state) {
    const std::u16string text = Utf8ToUtf16(std::to_string(++value % 7));
    const double t0 = WallSeconds();
    viewModel.EditProperty(Group::MasterFile, first, "BlurPasses", text);
    const double t1 = WallSeconds();
    viewModel.EditProperty(Group::MasterFile, last, "BlurPasses", text);
    const double t2 = WallSeconds();
    firstSeconds += t1 - t0;
    lastSeconds += t2 - t1;
    state.SetIterationTime(t2 - t1);
  }
  if (ornR_IsModified(last.c_str()) != 1) state.SkipWithError("the edit did not reach the setup");
  CloseModule();
  const double n = static_cast<double>(state.iterations());
  state.counters["first_us"] = firstSeconds / n * 1e6;
  state.counters["last_us"] = lastSeconds / n * 1e6;
  state.counters["ratio"] = lastSeconds / firstSeconds;
}

}  // namespace

int RunCommandChild(int argc, char** argv) {
  if (argc != 7 || std::strcmp(argv[1], "--child-command") != 0) return -1;
  const int block = std::atoi(argv[3]);
  const Actions actions = ActionsOf(argv[4], Utf8ToUtf16(argv[5]), Utf8ToUtf16(argv[6]));
  OpenWithModule(argv[2]);
  double seconds = 0;
  // The first write after opening checks the whole file once (SQLite's quick_check); that
  // belongs to opening, not to each command, so one command runs untimed first.
  for (int i = 0; i <= block; ++i) {
    if (actions.prepare) actions.prepare();
    const double t0 = CpuSeconds();
    actions.command();
    if (i > 0) seconds += CpuSeconds() - t0;
    if (actions.undo) actions.undo();
  }
  CloseModule();
  std::printf("%.9f %d\n", seconds, block);
  return 0;
}

void RegisterCommandBenchmarks(const Sizes& sizes) {
  const int large = sizes.large;
  benchmark::RegisterBenchmark(("EditLatency/" + std::to_string(large)).c_str(), EditLatency, large)
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond)
      ->Iterations(sizes.quick ? 1 : 2000);
  const int block = sizes.quick ? 1 : 40;
  // Six blocks a side, alternating: each figure is the mean of 240 commands.
  const int rounds = sizes.quick ? 1 : 6;
  for (const bool duplicate : {false, true}) {
    benchmark::RegisterBenchmark(((duplicate ? "DuplicateAfterGenerated/" : "NewAfterGenerated/") +
                                  std::to_string(sizes.generated))
                                     .c_str(),
                                 GeneratedNames, duplicate, sizes.generated)
        ->Arg(block)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(rounds);
  }
  for (const char* command : {"save", "reset", "rename", "delete"}) {
    benchmark::RegisterBenchmark((std::string("Command/") + command + "/" +
                                  std::to_string(sizes.small) + "vs" + std::to_string(large))
                                     .c_str(),
                                 AtTwoSizes, sizes, std::string(command))
        ->Arg(block)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(rounds);
  }
}

}  // namespace ornr::bench
