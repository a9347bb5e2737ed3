// A directory of its own for each test, removed afterwards, with the host reset around it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/controls/HostControls.h"

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ /= "ornhost-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    std::filesystem::create_directories(path_);
    ornhost::ResetAll();
  }
  ~TempDir() {
    ornhost::ResetAll();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_ = std::filesystem::temp_directory_path();
};

inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
