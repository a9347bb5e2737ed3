// ornr-python-bench: the C++ side of bench/python-bench.py. It makes the files the Python package
// is timed on, and times the floor of reading them: the host's own read path, every value visited.
//   ornr-python-bench setups FILE COUNT         a design file of COUNT varied setups
//   ornr-python-bench audit-project DIR COUNT   the audit benchmark's project under DIR; prints
//                                               the project's folder and its library
//   ornr-python-bench read FILE                 opens FILE read-only as the host does, loads every
//                                               setup and visits every value; prints the seconds
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/AuditFiles.h"
#include "bench/BenchFiles.h"
#include "host/controls/HostControls.h"
#include "host/store/DesignFile.h"
#include "host/store/SettingsColumns.h"
#include "support/Utf.h"

namespace {

using namespace ornr::bench;

int Setups(const char* file, int count) {
  std::vector<ornhost::StoredSetup> setups;
  setups.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    setups.push_back({ornr::Utf8ToUtf16("Setup " + std::to_string(i)), true, VariedSettings(i)});
  }
  std::filesystem::remove(file);
  ornhost::WriteSetups(file, setups);
  return 0;
}

int Read(const char* file) {
  const auto start = std::chrono::steady_clock::now();
  ornhost::detail::DesignFile design(file, ornhost::detail::DesignFile::Access::ReadOnly);
  std::uint64_t checksum = 0;
  std::size_t setups = 0;
  design.Load([&](ornhost::detail::SetupRecord& record) {
    ++setups;
    if (!record.settings) return;
    for (const auto& value : ornhost::detail::SettingValues(*record.settings)) {
      checksum += value.type == ornhost::detail::StoredValue::Type::Real
                      ? static_cast<std::uint64_t>(value.real)
                      : static_cast<std::uint64_t>(value.integer);
    }
  });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.6f %zu %llu\n", seconds, setups, static_cast<unsigned long long>(checksum));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::strcmp(argv[1], "setups") == 0)
      return Setups(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "read") == 0) return Read(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "audit-project") == 0) {
      const std::filesystem::path root = argv[2];
      std::filesystem::create_directories(root);
      const auto project = AuditProject(root, std::atoi(argv[3]));
      std::printf("%s\n%s\n", project.c_str(), AuditLibrary(root).c_str());
      return 0;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ornr-python-bench: %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: ornr-python-bench setups FILE COUNT | audit-project DIR COUNT | "
               "read FILE\n");
  return 2;
}
