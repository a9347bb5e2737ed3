// ornr-floor-table: the programs as a person runs them, each beside its floor, the least a
// program needs to read the same rows with SQLite's C API (and for a deploy, write the same
// changed rows). The two sides of a row run in turn,
// many times, and the table gives the median of each side and the median of the pairs' ratios:
// on a shared machine only what was measured side by side compares.
//   ornr-floor-table [--runs N] [--small] [--only load,show,audit,deploy]
// --small: small sizes and three runs, a check that the table has not rotted.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/AuditFiles.h"
#include "bench/Bench.h"
#include "bench/BenchFiles.h"
#include "bench/ChildProcess.h"
#include "host/controls/HostControls.h"

namespace ornr::bench {

namespace {

struct Run {
  double wall = 0;  // seconds
  double cpu = 0;   // user and system seconds
  double peakMiB = 0;
  int status = -1;
};

// Runs the program with its output thrown away; ru_maxrss is the child's own, since the child
// replaces a fresh fork of this small process at once.
Run Measure(const std::vector<std::string>& args) {
  const double start = WallSeconds();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Run run;
  run.wall = WallSeconds() - start;
  run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Pairs {
  double wall = 0, floorWall = 0, ratio = 0;
  double cpuRatio = 0;
  double peakMiB = 0;
  bool failed = false;
};

// Both sides once to warm the page cache, then runs pairs, alternating which side goes first.
Pairs Paired(const std::vector<std::string>& product, const std::vector<std::string>& floor,
             int runs, int productStatus) {
  Measure(product);
  Measure(floor);
  std::vector<double> walls, floorWalls, ratios, cpuRatios, peaks;
  Pairs pairs;
  for (int i = 0; i < runs; ++i) {
    Run a, b;
    if (i % 2 == 0) {
      a = Measure(product);
      b = Measure(floor);
    } else {
      b = Measure(floor);
      a = Measure(product);
    }
    if (a.status != productStatus || b.status != 0) {
      std::fprintf(stderr, "ornr-floor-table: %s ended with %d, %s with %d\n", product[0].c_str(),
                   a.status, floor[0].c_str(), b.status);
      pairs.failed = true;
      return pairs;
    }
    walls.push_back(a.wall);
    floorWalls.push_back(b.wall);
    ratios.push_back(a.wall / b.wall);
    cpuRatios.push_back(b.cpu > 0 ? a.cpu / b.cpu : 0);
    peaks.push_back(a.peakMiB);
  }
  pairs.wall = Median(walls);
  pairs.floorWall = Median(floorWalls);
  pairs.ratio = Median(ratios);
  pairs.cpuRatio = Median(cpuRatios);
  pairs.peakMiB = Median(peaks);
  return pairs;
}

// The same for programs that change the files: each side of each pair runs on a fresh copy of
// the project, made and synced to the disk before the clock starts, so that neither side's syncs
// write the copy. args gives each side's command line for the copy's folder.
Pairs PairedOnCopies(const std::function<std::vector<std::string>(const std::string&)>& product,
                     const std::function<std::vector<std::string>(const std::string&)>& floor,
                     const std::string& project, int runs, int productStatus) {
  const auto fresh = [&](const char* name) {
    const auto copy = BenchFolder() / name;
    std::filesystem::remove_all(copy);
    std::filesystem::copy(project, copy, std::filesystem::copy_options::recursive);
    sync();
    return copy.string();
  };
  std::vector<double> walls, floorWalls, ratios, cpuRatios, peaks;
  Pairs pairs;
  for (int i = 0; i < runs; ++i) {
    const std::string forProduct = fresh("copy-product");
    const std::string forFloor = fresh("copy-floor");
    Run a, b;
    if (i % 2 == 0) {
      a = Measure(product(forProduct));
      b = Measure(floor(forFloor));
    } else {
      b = Measure(floor(forFloor));
      a = Measure(product(forProduct));
    }
    if (a.status != productStatus || b.status != 0) {
      std::fprintf(stderr, "ornr-floor-table: %s ended with %d, %s with %d\n",
                   product(forProduct)[0].c_str(), a.status, floor(forFloor)[0].c_str(), b.status);
      pairs.failed = true;
      return pairs;
    }
    walls.push_back(a.wall);
    floorWalls.push_back(b.wall);
    ratios.push_back(a.wall / b.wall);
    cpuRatios.push_back(b.cpu > 0 ? a.cpu / b.cpu : 0);
    peaks.push_back(a.peakMiB);
  }
  for (const char* name : {"copy-product", "copy-floor"}) {
    std::filesystem::remove_all(BenchFolder() / name);
  }
  pairs.wall = Median(walls);
  pairs.floorWall = Median(floorWalls);
  pairs.ratio = Median(ratios);
  pairs.cpuRatio = Median(cpuRatios);
  pairs.peakMiB = Median(peaks);
  return pairs;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// The UTF-8 size of the document the module sends for the file: the workbench prints it whole.
double DocumentMiB(const std::string& workbench, const std::string& file) {
  const std::string out = RunProgram({workbench, "--xml", "--master", file, "-c", "quit"});
  const std::string marker = "panel: <RenderSetupViewModel>";
  const std::size_t at = out.find(marker);
  if (at == std::string::npos) return 0;
  const std::size_t end = out.find('\n', at);
  return static_cast<double>(end - at - std::strlen("panel: ")) / (1024.0 * 1024.0);
}

std::string OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string Ms(double seconds) {
  char text[32];
  const double ms = seconds * 1e3;
  std::snprintf(text, sizeof text, ms >= 100 ? "%.0f ms" : "%.1f ms", ms);
  return text;
}

void Row(const std::string& label, const std::string& now, const std::string& floor, double ratio,
         double cpuRatio, double target, const std::string& targetText) {
  char cpu[32] = "";
  if (cpuRatio > 0) std::snprintf(cpu, sizeof cpu, "%.2fx", cpuRatio);
  std::printf("| %s | %s | %s | %.2fx | %s | %s | %s |\n", label.c_str(), now.c_str(),
              floor.c_str(), ratio, cpu, targetText.c_str(), ratio <= target ? "yes" : "NO");
}

}  // namespace

int FloorTable(int argc, char** argv) {
  bool small = false;
  int runs = 15;
  // Rows to measure; a developer's loop times only the one it works on.
  std::string only = "load,show,audit,deploy";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--small") == 0) {
      small = true;
      runs = 3;
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(
          stderr, "usage: ornr-floor-table [--runs N] [--small] [--only load,show,audit,deploy]\n");
      return 2;
    }
  }
  std::set<std::string> rows;
  std::stringstream words(only);
  for (std::string word; std::getline(words, word, ',');) {
    if (word != "load" && word != "show" && word != "audit" && word != "deploy") {
      std::fprintf(stderr, "ornr-floor-table: no row '%s' (load, show, audit, deploy)\n",
                   word.c_str());
      return 2;
    }
    rows.insert(word);
  }
  const auto wanted = [&](const char* row) { return rows.count(row) != 0; };
  const std::string workbench = ORNR_WORKBENCH_PATH;
  const std::string audit = ORNR_AUDIT_PATH;
  const std::string floorRead = ORNR_FLOOR_READ_PATH;
  const std::string floorAudit = ORNR_FLOOR_AUDIT_PATH;
  const std::string floorDeploy = ORNR_FLOOR_DEPLOY_PATH;
  const int large = small ? 500 : 10000;
  const int few = 100;
  const int files = small ? 40 : 2000;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

  std::fprintf(stderr, "ornr-floor-table: making the files\n");
  const std::string master = MasterWith(large).string();
  const std::string little = MasterWith(few).string();
  const std::string project = AuditProject(BenchFolder(), files).string();
  const std::string library = AuditLibrary(BenchFolder()).string();
  const double documentMiB = wanted("load") ? DocumentMiB(workbench, master) : 0;
  std::string sqlite = OnPath("sqlite3");
  const std::vector<std::string> firstRow =
      sqlite.empty() ? std::vector<std::string>{floorRead, little, "--first"}
                     : std::vector<std::string>{sqlite, little,
                                                "SELECT * FROM render_setups ORDER BY position "
                                                "LIMIT 1"};

  const std::string startLoad = LoadAverage();
  Pairs load, show, audited, preview, applied;
  if (wanted("load")) {
    std::fprintf(stderr, "ornr-floor-table: the load, %d pairs\n", runs);
    load = Paired({workbench, "--master", master, "-c", "quit"}, {floorRead, master}, runs, 0);
  }
  if (wanted("show")) {
    std::fprintf(stderr, "ornr-floor-table: show, %d pairs\n", 2 * runs + 1);
    show = Paired({workbench, "--master", little, "-c", "show \"Setup 1\""}, firstRow, 2 * runs + 1,
                  0);
  }
  const int auditRuns = std::max(3, runs / 2);
  if (wanted("audit")) {
    std::fprintf(stderr, "ornr-floor-table: the audit, %d pairs\n", auditRuns);
    // Status 1: the project's drawings drifted from the library, as the benchmark's project does.
    audited = Paired({audit, "--library", library, project}, {floorAudit, project}, auditRuns, 1);
  }
  // One library setup deployed to the setup taken from it in every drawing: one value changes
  // in each, as the floor is told.
  const std::string deployed = "Setup 5";
  std::string value;
  for (const auto& setup : ornhost::ReadSetups(library)) {
    if (setup.name == u"Setup 5") value = std::to_string(setup.settings.GetMaxSamplesPerPixel());
  }
  const auto deploy = [&](const std::string& folder, bool apply) {
    std::vector<std::string> args = {audit,    "--library", library, "--deploy",
                                     deployed, "--linked",  folder};
    if (apply) args.insert(args.end() - 1, "--apply");
    return args;
  };
  const int deployRuns = std::max(3, runs / 5);
  if (wanted("deploy")) {
    std::fprintf(stderr, "ornr-floor-table: the deploy's preview, %d pairs\n", auditRuns);
    preview = Paired(deploy(project, false), {floorAudit, project}, auditRuns, 0);
    std::fprintf(stderr, "ornr-floor-table: the deploy, %d pairs on fresh copies\n", deployRuns);
    applied = PairedOnCopies([&](const std::string& folder) { return deploy(folder, true); },
                             [&](const std::string& folder) {
                               return std::vector<std::string>{floorDeploy, deployed,
                                                               "MaxSamplesPerPixel", value, folder};
                             },
                             project, deployRuns, 0);
  }
  const std::string endLoad = LoadAverage();
  if (load.failed || show.failed || audited.failed || preview.failed || applied.failed) return 1;

  std::printf("\nLoad average (1, 5, 15 minutes) at the start: %s; at the end: %s; %u cores\n\n",
              startLoad.c_str(), endLoad.c_str(), cores);
  std::printf(
      "| Measurement (median of pairs) | Now | Floor | Ratio | CPU ratio | Target | Met |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  if (wanted("load")) {
    Row("Workbench load of " + std::to_string(large) + " setups (`-c quit`)", Ms(load.wall),
        "ornr-floor-read, every row: " + Ms(load.floorWall), load.ratio, load.cpuRatio, 5.0,
        "<= 5x (aim 4x)");
  }
  if (wanted("show")) {
    Row("`show` on " + std::to_string(few) + " setups", Ms(show.wall),
        (sqlite.empty() ? "ornr-floor-read --first: " : "sqlite3 FILE 'SELECT ... LIMIT 1': ") +
            Ms(show.floorWall),
        show.ratio, show.cpuRatio, 2.5, "<= 2.5x");
  }
  if (wanted("audit")) {
    Row("rsm-audit, " + std::to_string(files) + " files of 20 setups", Ms(audited.wall),
        "ornr-floor-audit on " + std::to_string(cores) + " threads: " + Ms(audited.floorWall),
        audited.ratio, audited.cpuRatio, 1.3, "<= 1.3x");
  }
  if (wanted("deploy")) {
    Row("rsm-audit --deploy, preview, " + std::to_string(files) + " files", Ms(preview.wall),
        "ornr-floor-audit on " + std::to_string(cores) + " threads: " + Ms(preview.floorWall),
        preview.ratio, preview.cpuRatio, 2.0, "<= 2x");
    Row("rsm-audit --deploy --apply, " + std::to_string(files) + " files", Ms(applied.wall),
        "ornr-floor-deploy on " + std::to_string(cores) + " threads: " + Ms(applied.floorWall),
        applied.ratio, applied.cpuRatio, 2.0, "<= 2x");
  }
  if (wanted("load")) {
    char peak[64], document[64];
    std::snprintf(peak, sizeof peak, "%.1f MiB", load.peakMiB);
    std::snprintf(document, sizeof document, "the document in UTF-8: %.1f MiB", documentMiB);
    Row("Peak memory of the " + std::to_string(large) + "-setup load", peak, document,
        documentMiB > 0 ? load.peakMiB / documentMiB : 0, 0, 4.5, "<= 4.5x");
  }
  return 0;
}

}  // namespace ornr::bench

int main(int argc, char** argv) {
  return ornr::bench::FloorTable(argc, argv);
}
