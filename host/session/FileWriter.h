// Writes to a design file whether this session has it open or not: through the open master's own
// connection when the file is the master, and with the open files' stores kept in step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/OrnSettings.h"
#include "host/session/HostState.h"
#include "host/store/DesignFile.h"

namespace ornhost::detail {

/// The connection that writes to one design file: the open master's own when the file is the
/// master, so that the check before its first write is made once; otherwise one of its own.
class FileWriter {
 public:
  /// Opens path for writing, creating it when missing, unless it is the open master. Throws
  /// DesignFileError.
  explicit FileWriter(const std::filesystem::path& path);
  DesignFile& Db() { return master_ != nullptr ? *master_->Db() : *own_; }
  /// The open master when it is the file, or null.
  HostFile* Master() const { return master_; }
  /// The open files at the file's path, the master first: those to keep in step.
  const std::vector<HostFile*>& OpenFiles() const { return open_; }

 private:
  std::vector<HostFile*> open_;
  HostFile* master_ = nullptr;
  std::unique_ptr<DesignFile> own_;
};

/// Stores records in the design file at path in one transaction, through a FileWriter; alongside
/// writes what goes with each record inside that transaction. Open files then hold the records
/// as after a save. What each record replaces is kept as a version named action. Throws
/// SetupNameError (nothing stored), DesignFileError.
void StoreSetups(
    const std::filesystem::path& path,
    const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records,
    const std::function<void(DesignFile&, std::size_t index, std::int64_t position)>& alongside,
    std::string_view action = actions::kImport);

}  // namespace ornhost::detail
