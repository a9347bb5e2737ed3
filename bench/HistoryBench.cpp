// What keeping versions costs: a save with history beside the same save with history-limit 0, the
// bytes a one-value change adds to the file, history and diff of one setup among 10,000 with 50
// versions each beside one SELECT of its versions, and opening that file beside its first save.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"
#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/history/History.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"

namespace ornr::bench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::ZelPlatform::OrnSetupManager;

void Sql(const std::filesystem::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "ornr-bench: %s\n", error != nullptr ? error : "SQL failed");
    sqlite3_free(error);
  }
  sqlite3_close(db);
}

// A copy of the master of count setups, keeping no history when limited.
std::filesystem::path CopyOfMaster(int count, bool limited) {
  const auto path = BenchFolder() /
                    ("history-" + std::to_string(count) + (limited ? "-limit0.zel" : "-kept.zel"));
  if (std::filesystem::exists(path)) return path;
  std::filesystem::copy_file(MasterWith(count), path);
  if (limited) Sql(path, "INSERT INTO version_limits VALUES (1, 0, 0)");
  return path;
}

// Edits one value of the middle setup in the host's working copy, as a panel edit leaves it.
void EditMiddle(int count, std::uint32_t value) {
  auto* master = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  const std::u16string name = Utf8ToUtf16("Setup " + std::to_string(count / 2));
  auto* setup = OrnSetupManager::GetManagerR().FindOrnSetupByName(name.c_str(), *master);
  setup->GetSettings()->SetBlurPasses(value);
  setup->modified = true;
}

// Saves of a changed value on one side, in a fresh process; wall time (with the disk's waits, the
// part history adds to) and CPU time.
struct SaveSide {
  std::filesystem::path file;
  double wall = 0;
  double cpu = 0;
  int runs = 0;
};

void SaveWithAndWithoutHistory(benchmark::State& state, int count) {
  const int block = static_cast<int>(state.range(0));
  SaveSide kept{CopyOfMaster(count, false)};
  SaveSide none{CopyOfMaster(count, true)};
  for (auto _ : state) {
    for (SaveSide* side : {&none, &kept}) {
      std::istringstream in(RunProgram({Self(), "--child-history-save", side->file.string(),
                                        std::to_string(count), std::to_string(block)}));
      double wall = 0;
      double cpu = 0;
      int runs = 0;
      if (!(in >> wall >> cpu >> runs) || runs != block) {
        state.SkipWithError("a save's child process gave no figures");
        return;
      }
      side->wall += wall;
      side->cpu += cpu;
      side->runs += runs;
    }
    state.SetIterationTime(kept.wall / kept.runs * block);
  }
  state.counters["history_us"] = kept.wall / kept.runs * 1e6;
  state.counters["none_us"] = none.wall / none.runs * 1e6;
  state.counters["ratio"] = kept.wall / none.wall;
  state.counters["cpu_ratio"] = kept.cpu / none.cpu;
}

// The bytes a one-value change adds, over many saves, with history and with none: what a kept
// version costs beside a whole row of the setups' table.
void BytesPerChange(benchmark::State& state, int count) {
  const int saves = static_cast<int>(state.range(0));
  double perChange = 0;
  double withoutHistory = 0;
  for (auto _ : state) {
    for (const bool limited : {false, true}) {
      const auto file = BenchFolder() / (limited ? "bytes-limit0.zel" : "bytes-kept.zel");
      std::filesystem::remove(file);
      std::filesystem::copy_file(MasterWith(count), file);
      if (limited) Sql(file, "INSERT INTO version_limits VALUES (1, 0, 0)");
      ornhost::ResetAll();
      auto& master = ornhost::OpenMaster(file);
      auto& store = OrnSetupManager::GetManagerR();
      // The first write of a session checks the file; after it the file's size is the base.
      EditMiddle(count, 1u << 30);
      store.Save(Utf8ToUtf16("Setup " + std::to_string(count / 2)).c_str(), master);
      const auto before = std::filesystem::file_size(file);
      const double t0 = WallSeconds();
      for (int i = 0; i < saves; ++i) {
        const std::u16string name = Utf8ToUtf16("Setup " + std::to_string(i % count));
        auto* setup = store.FindOrnSetupByName(name.c_str(), master);
        setup->GetSettings()->SetBlurPasses(setup->GetSettingsR()->GetBlurPasses() + 1);
        store.Save(name.c_str(), master);
      }
      state.SetIterationTime(WallSeconds() - t0);
      const double grown = static_cast<double>(std::filesystem::file_size(file) - before) / saves;
      (limited ? withoutHistory : perChange) = grown;
      ornhost::ResetAll();
    }
  }
  // A whole row: what keeping the whole state each time would cost at least.
  const double row = static_cast<double>(std::filesystem::file_size(MasterWith(count))) / count;
  state.counters["bytes_per_change"] = perChange;
  state.counters["bytes_without_history"] = withoutHistory;
  state.counters["row_bytes"] = row;
  state.counters["ratio"] = perChange / row;
}

// 10,000 setups with 50 versions each, written straight in SQL: two values changed a version.
std::filesystem::path MasterWithVersions(int count, int versions) {
  const auto path = BenchFolder() / ("versions-" + std::to_string(count) + ".zel");
  if (std::filesystem::exists(path)) return path;
  std::filesystem::copy_file(MasterWith(count), path);
  Sql(path,
      "PRAGMA synchronous = OFF; BEGIN;"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
          std::to_string(versions) +
          ") INSERT INTO setup_versions (position, number, made_at, action, made_by, name)"
          " SELECT r.position, n.x, '2026-01-01T00:00:00Z', 'save', 'bench', r.name"
          " FROM render_setups r, n ORDER BY r.position, n.x;"
          "INSERT INTO setup_version_values (version, property, old_value, new_value)"
          " SELECT version, 'MaxSamplesPerPixel', 1000 + number, 1001 + number"
          " FROM setup_versions;"
          "INSERT INTO setup_version_values (version, property, old_value, new_value)"
          " SELECT version, 'QualityThreshold', number / 100.0, (number + 1) / 100.0"
          " FROM setup_versions;"
          "COMMIT;");
  return path;
}

// One prepared SELECT of the setup's versions with their values, every column read: the least
// the same library needs for either command.
std::size_t SelectVersions(sqlite3* db, std::int64_t position) {
  static sqlite3_stmt* select = nullptr;
  if (select == nullptr) {
    sqlite3_prepare_v3(db,
                       "SELECT v.number, v.action, v.name, p.property, p.old_value, v.made_at,"
                       " v.made_by, p.new_value FROM setup_versions v LEFT JOIN"
                       " setup_version_values p ON p.version = v.version WHERE v.position = ?1"
                       " AND v.number >= 1 ORDER BY v.number DESC",
                       -1, SQLITE_PREPARE_PERSISTENT, &select, nullptr);
  }
  sqlite3_bind_int64(select, 1, position);
  std::size_t bytes = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    for (int i = 0; i < 8; ++i) bytes += static_cast<std::size_t>(sqlite3_column_bytes(select, i));
  }
  sqlite3_reset(select);
  return bytes;
}

void HistoryAndDiff(benchmark::State& state, int count, bool diff) {
  const auto path = MasterWithVersions(count, 50);
  ornhost::ResetAll();
  ornhost::OpenMaster(path);
  sqlite3* floorDb = nullptr;
  sqlite3_open_v2(path.c_str(), &floorDb, SQLITE_OPEN_READONLY, nullptr);
  const std::u16string name = Utf8ToUtf16("Setup " + std::to_string(count / 2));
  const std::int64_t position = count / 2 + 1;
  double stage = 0;
  double floor = 0;
  std::size_t checksum = 0;
  for (auto _ : state) {
    const double t0 = WallSeconds();
    checksum += SelectVersions(floorDb, position);
    const double t1 = WallSeconds();
    if (diff) {
      // diff NAME --version 1 NAME: the version rebuilt, both sides' texts compared.
      const auto version = ornhost::SetupVersionValues(name, 1);
      const auto* now = OrnSetupManager::GetManagerR().FindOrnSetupByName(
          name.c_str(), *Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile());
      const auto a = ornhost::SettingTexts(version);
      const auto b = ornhost::SettingTexts(*now->GetSettingsR());
      for (std::size_t i = 0; i < a.size(); ++i) checksum += a[i].second != b[i].second;
    } else {
      checksum += ornhost::SetupHistory(name).size();
    }
    const double t2 = WallSeconds();
    floor += t1 - t0;
    stage += t2 - t1;
    state.SetIterationTime(t2 - t1);
  }
  benchmark::DoNotOptimize(checksum);
  sqlite3_close(floorDb);
  ornhost::ResetAll();
  const double n = static_cast<double>(state.iterations());
  state.counters["stage_ms"] = stage / n * 1e3;
  state.counters["floor_ms"] = floor / n * 1e3;
  state.counters["ratio"] = stage / floor;
}

// Opening the master file and its first save, a changed value, on the file with 50 versions a
// setup; beside them, what the whole-file check costs (now beside the session, formerly in the
// first save).
void OpenAndFirstSave(benchmark::State& state, int count) {
  const auto path = MasterWithVersions(count, 50);
  const std::u16string name = Utf8ToUtf16("Setup " + std::to_string(count / 2));
  double open = 0;
  double save = 0;
  double check = 0;
  for (auto _ : state) {
    ornhost::ResetAll();
    const double t0 = WallSeconds();
    auto& master = ornhost::OpenMaster(path);
    const double t1 = WallSeconds();
    EditMiddle(count, static_cast<std::uint32_t>(std::rand()));
    OrnSetupManager::GetManagerR().Save(name.c_str(), master);
    const double t2 = WallSeconds();
    ornhost::AwaitMasterFileCheck();
    const double t3 = WallSeconds();
    open += t1 - t0;
    save += t2 - t1;
    check += t3 - t2;
    state.SetIterationTime(t2 - t0);
    ornhost::ResetAll();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["open_ms"] = open / n * 1e3;
  state.counters["first_save_ms"] = save / n * 1e3;
  state.counters["check_after_ms"] = check / n * 1e3;
  state.counters["ratio"] = (open + save) / open;
  // The whole file's quick_check as the first save ran it before, CHECK constraints included.
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  const double c0 = WallSeconds();
  sqlite3_exec(db, "PRAGMA quick_check(100)", nullptr, nullptr, nullptr);
  state.counters["whole_check_ms"] = (WallSeconds() - c0) * 1e3;
  sqlite3_close(db);
}

}  // namespace

int RunHistoryChild(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "--child-history-save") != 0) return -1;
  const int count = std::atoi(argv[3]);
  const int block = std::atoi(argv[4]);
  ornhost::OpenMaster(argv[2]);
  ornR_Init();
  ornR_LoadAllSetups(false);
  const std::u16string name = Utf8ToUtf16("Setup " + std::to_string(count / 2));
  double wall = 0;
  double cpu = 0;
  // The first save checks the file once (SQLite's quick_check): it runs untimed.
  for (int i = 0; i <= block; ++i) {
    EditMiddle(count, static_cast<std::uint32_t>(std::rand()));
    const double w0 = WallSeconds();
    const double c0 = CpuSeconds();
    ornR_SaveSetup(name.c_str());
    if (i == 0) continue;
    wall += WallSeconds() - w0;
    cpu += CpuSeconds() - c0;
  }
  ornR_Release();
  ornhost::ResetAll();
  MainPanel::Reset();
  std::printf("%.9f %.9f %d\n", wall, cpu, block);
  return 0;
}

void RegisterHistoryBenchmarks(const Sizes& sizes) {
  const int block = sizes.quick ? 1 : 30;
  const int rounds = sizes.quick ? 1 : 6;
  for (const int count : {sizes.small, sizes.large}) {
    benchmark::RegisterBenchmark(("HistorySave/" + std::to_string(count)).c_str(),
                                 SaveWithAndWithoutHistory, count)
        ->Arg(block)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(rounds);
  }
  benchmark::RegisterBenchmark(("HistoryBytes/" + std::to_string(sizes.large)).c_str(),
                               BytesPerChange, sizes.large)
      ->Arg(sizes.quick ? 20 : 500)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark(("HistoryFirstSave/" + std::to_string(sizes.large)).c_str(),
                               OpenAndFirstSave, sizes.large)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(sizes.quick ? 1 : 5);
  for (const bool diff : {false, true}) {
    benchmark::RegisterBenchmark(
        ((diff ? "HistoryDiff/" : "HistoryList/") + std::to_string(sizes.large)).c_str(),
        HistoryAndDiff, sizes.large, diff)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(sizes.quick ? 1 : 200);
  }
}

}  // namespace ornr::bench
