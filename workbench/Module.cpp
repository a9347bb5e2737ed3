#include "workbench/Module.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifndef ORNR_MODULE_FILE_NAME
#error "the build names the module file with ORNR_MODULE_FILE_NAME"
#endif
#ifndef ORNR_MODULE_DIR_FROM_BIN
#error \
    "the build names the library folder relative to the executable's with ORNR_MODULE_DIR_FROM_BIN"
#endif

namespace ornr::workbench {

namespace {

template <typename Function>
void Resolve(void* handle, const std::filesystem::path& file, const char* symbol, Function& out) {
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    throw ModuleError("module " + file.string() + " does not export " + symbol);
  }
  out = reinterpret_cast<Function>(address);
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::filesystem::path& file) {
  // RTLD_LOCAL keeps the module's own symbols to itself, as a host keeps plug-ins apart.
  const int mode = RTLD_NOW | RTLD_LOCAL;
  void* handle = dlopen(file.c_str(), mode);
  if (handle == nullptr) {
    const char* reason = dlerror();
    throw ModuleError("cannot load module " + file.string() + ": " +
                      (reason != nullptr ? reason : "unknown reason"));
  }
  std::unique_ptr<LoadedModule> module(new LoadedModule(handle, file));
  ModuleApi& api = module->api_;
#define ORNR_WORKBENCH_RESOLVE(field, exported) Resolve(handle, file, #exported, api.field);
  ORNR_WORKBENCH_FUNCTIONS(ORNR_WORKBENCH_RESOLVE)
#undef ORNR_WORKBENCH_RESOLVE
  return module;
}

LoadedModule::LoadedModule(void* handle, std::filesystem::path file)
    : handle_(handle), file_(std::move(file)) {}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::filesystem::path LoadedModule::Directory() const {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(api_.Init), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::filesystem::path{} : file.parent_path();
}

void LoadedModule::DeleteBridge() noexcept {
  using DeleteFunction = void (*)();
  void* address = dlsym(handle_, "DeleteIPrismetWrapperInstance");
  if (address != nullptr) reinterpret_cast<DeleteFunction>(address)();
}

std::vector<std::filesystem::path> ModuleCandidates(const std::filesystem::path& executable) {
  const std::filesystem::path dir = executable.parent_path();
  std::vector<std::filesystem::path> candidates{
      dir / ORNR_MODULE_FILE_NAME,
      (dir / ORNR_MODULE_DIR_FROM_BIN / ORNR_MODULE_FILE_NAME).lexically_normal()};
#ifdef ORNR_DEBIAN_MODULE_DIR_FROM_BIN
  // The Debian package keeps the module in a library folder of its own.
  candidates.push_back(
      (dir / ORNR_DEBIAN_MODULE_DIR_FROM_BIN / ORNR_MODULE_FILE_NAME).lexically_normal());
#endif
  return candidates;
}

std::filesystem::path DefaultModulePath() {
  if (const char* fromEnvironment = std::getenv("ORNR_MODULE");
      fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw ModuleError("cannot find the running executable; give --module FILE");
  std::string looked;
  for (const auto& candidate : ModuleCandidates(executable)) {
    if (std::filesystem::exists(candidate, error)) return candidate;
    looked += (looked.empty() ? "" : ", ") + candidate.string();
  }
  throw ModuleError("no module found (looked for " + looked + "); give --module FILE");
}

}  // namespace ornr::workbench
