// SQLite's quick_check of a design file: before a write, and of the whole file beside a session.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ornhost::detail {

/// What quick_check finds in db, of one table and its indexes or (table null) of the whole file,
/// with the tables' CHECK constraints left out: a value out of its range makes its own record
/// unreadable, not the file. Empty when nothing is wrong, else the first problem in one line.
/// An error that says nothing of the file (it is locked, the disk failed) is not a problem of
/// it: failed then says why the check could not run, and the result is empty.
std::string QuickCheck(sqlite3* db, const char* table, std::string& failed);

/// The whole file at path checked on a thread of its own, on a copy of it. The copy is taken a
/// megabyte at a time, the file held for reading (as any reader holds it) only for each step and
/// never while the copy is checked, so that another session's write waits moments at most; a
/// write between two steps starts the copy again.
class FileCheck {
 public:
  explicit FileCheck(std::string path);
  /// Stops a check under way (within moments) and waits for its thread.
  ~FileCheck();
  FileCheck(const FileCheck&) = delete;
  FileCheck& operator=(const FileCheck&) = delete;

  /// Nothing while the check runs; then empty when the file is whole, or could not be copied
  /// (no room for the copy, written so often that the copy began again too many times), else
  /// what is wrong.
  std::optional<std::string> Verdict() const;
  /// Waits for the verdict.
  std::string Wait() const;
  /// While held, a check waits before it begins (it still stops when destroyed).
  static void Hold(bool held);

 private:
  void Run();
  /// Makes db the connection a stop interrupts; false when the check is to stop.
  bool Working(sqlite3* db);
  /// Waits while checks are held; false when the check is to stop.
  bool Begin();

  std::string path_;
  mutable std::mutex mutex_;
  mutable std::condition_variable finished_;
  std::optional<std::string> verdict_;
  bool stop_ = false;
  sqlite3* working_ = nullptr;
  std::thread thread_;
};

}  // namespace ornhost::detail
