#include "host/session/FileWriter.h"

#include "host/store/SetupNames.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

FileWriter::FileWriter(const std::filesystem::path& path) : open_(FindOpenFiles(path)) {
  for (HostFile* file : open_) {
    if (file->IsWritable()) master_ = file;
  }
  if (master_ == nullptr) own_ = std::make_unique<DesignFile>(path, DesignFile::Access::ReadWrite);
}

void StoreSetups(
    const std::filesystem::path& path,
    const std::vector<std::pair<std::u16string, OrnSettings>>& records,
    const std::function<void(DesignFile&, std::size_t index, std::int64_t position)>& alongside,
    std::string_view action) {
  for (const auto& [name, settings] : records) {
    if (const auto refusal = RefusalOfSetupName(name)) throw SetupNameError(*refusal);
  }
  FileWriter writer(path);
  DesignFile& db = writer.Db();
  const std::vector<RowRef> rows = db.PutAll(
      records,
      alongside ? [&](std::size_t index, std::int64_t position) { alongside(db, index, position); }
                : std::function<void(std::size_t, std::int64_t)>(),
      action);
  for (HostFile* file : writer.OpenFiles()) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      file->Adopt(rows[i], records[i].first, records[i].second);
    }
  }
}

}  // namespace ornhost::detail
