#include "workbench/PageLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

#ifndef ORNR_PAGE_LIBRARY_FILE_NAME
#error "the build names the page library's file with ORNR_PAGE_LIBRARY_FILE_NAME"
#endif

namespace ornr::workbench {

namespace {

StartPagePanelFunction LoadStart(const std::filesystem::path& moduleDirectory) {
  // Loaded once and never unloaded: its threads and statics may outlive any one panel.
  static StartPagePanelFunction loaded = nullptr;
  if (loaded != nullptr) return loaded;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  std::string looked;
  for (const auto& candidate : PageLibraryCandidates(moduleDirectory, executable)) {
    if (!std::filesystem::exists(candidate, error)) {
      looked += (looked.empty() ? "" : ", ") + candidate.string();
      continue;
    }
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
      const char* reason = dlerror();
      throw std::runtime_error("cannot load the browser panel's library " + candidate.string() +
                               ": " + (reason != nullptr ? reason : "unknown reason"));
    }
    void* start = dlsym(handle, kStartPagePanel);
    if (start == nullptr) {
      throw std::runtime_error("the browser panel's library " + candidate.string() +
                               " does not export " + kStartPagePanel);
    }
    loaded = reinterpret_cast<StartPagePanelFunction>(start);
    return loaded;
  }
  throw std::runtime_error("no browser panel library found (looked for " + looked + ")");
}

}  // namespace

std::vector<std::filesystem::path> PageLibraryCandidates(
    const std::filesystem::path& moduleDirectory, const std::filesystem::path& executable) {
  std::vector<std::filesystem::path> candidates;
  const auto add = [&candidates](const std::filesystem::path& candidate) {
    const std::filesystem::path normal = candidate.lexically_normal();
    if (std::find(candidates.begin(), candidates.end(), normal) == candidates.end()) {
      candidates.push_back(normal);
    }
  };
  if (!moduleDirectory.empty()) add(moduleDirectory / ORNR_PAGE_LIBRARY_FILE_NAME);
  if (!executable.empty()) {
    const std::filesystem::path dir = executable.parent_path();
    add(dir / ORNR_PAGE_LIBRARY_FILE_NAME);
    add(dir / ORNR_MODULE_DIR_FROM_BIN / ORNR_PAGE_LIBRARY_FILE_NAME);
#ifdef ORNR_DEBIAN_MODULE_DIR_FROM_BIN
    add(dir / ORNR_DEBIAN_MODULE_DIR_FROM_BIN / ORNR_PAGE_LIBRARY_FILE_NAME);
#endif
  }
  return candidates;
}

std::unique_ptr<PagePanel> StartPagePanel(const PagePanelStart& start,
                                          const std::filesystem::path& moduleDirectory,
                                          std::string& tablesWarning) {
  const StartPagePanelFunction startPanel = LoadStart(moduleDirectory);
  PagePanelStarted started;
  startPanel(start, started);
  tablesWarning = std::move(started.tablesWarning);
  if (started.panel == nullptr) throw std::runtime_error(started.error);
  return std::unique_ptr<PagePanel>(started.panel);
}

}  // namespace ornr::workbench
