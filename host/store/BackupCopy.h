// A copy of an open design file beside it that bears its name only once it is whole and on disk.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace ornhost::detail {

/// Copies db's main database to path, which must be free: first to path + ".tmp-PID", synced,
/// then renamed to path (never over a file that took the name meanwhile) and the folder synced.
/// A kill at any moment leaves path whole or absent, at worst with the temporary file beside it.
/// Returns empty on success, else why not; then neither name is left.
std::string WriteBackupCopy(sqlite3* db, const std::filesystem::path& path);

}  // namespace ornhost::detail
