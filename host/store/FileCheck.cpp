#include "host/store/FileCheck.h"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "host/store/DesignFileStatements.h"

namespace ornhost::detail {

std::string QuickCheck(sqlite3* db, const char* table, std::string& failed) {
  failed.clear();
  // The checks of every value of a long history would cost it seconds (an IN list of 68 names
  // a row), and tell nothing of the file.
  sqlite3_exec(db, "PRAGMA ignore_check_constraints = ON", nullptr, nullptr, nullptr);
  const std::string sql = table != nullptr ? std::string("PRAGMA quick_check(") + table + ")"
                                           : std::string("PRAGMA quick_check(100)");
  std::string verdict;
  sqlite3_stmt* check = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &check, nullptr);
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(check);
    if (rc != SQLITE_ROW) break;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
    const std::string_view line = text != nullptr ? text : "";
    if (line == "ok") continue;
    verdict = line;
    break;
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    const int code = sqlite3_extended_errcode(db) & 0xFF;
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_TOOBIG) {
      verdict = PlainReason(db);
    } else {
      failed = PlainReason(db);
    }
  }
  sqlite3_finalize(check);
  sqlite3_exec(db, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr, nullptr);
  std::replace(verdict.begin(), verdict.end(), '\n', ' ');
  if (verdict.size() > 120) verdict = verdict.substr(0, 117) + "...";
  return verdict;
}

namespace {

// Whatever the file holds runs nothing and changes nothing of how SQLite reads it.
sqlite3* OpenHardened(const char* path, int flags) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path, &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_exec(db, "PRAGMA cell_size_check = ON; PRAGMA mmap_size = 0", nullptr, nullptr, nullptr);
  return db;
}

std::mutex& CheckHoldMutex() {
  static std::mutex mutex;
  return mutex;
}
std::condition_variable& CheckHoldReleased() {
  static std::condition_variable released;
  return released;
}
bool checksHeld = false;

// Pages copied at a time (1 MB): the file is held for reading only that long, so another
// session's write waits moments at most for it.
constexpr int kPagesAStep = 256;
// Another session's write changes the file under the copy, which then starts again; one that
// writes all the time leaves the file unchecked rather than held.
constexpr int kMostStarts = 20;

}  // namespace

FileCheck::FileCheck(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}

FileCheck::~FileCheck() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
    if (working_ != nullptr) sqlite3_interrupt(working_);
  }
  {
    // Under the hold's lock, so that a check waiting for it sees the stop.
    const std::lock_guard lock(CheckHoldMutex());
    CheckHoldReleased().notify_all();
  }
  thread_.join();
}

std::optional<std::string> FileCheck::Verdict() const {
  const std::lock_guard lock(mutex_);
  return verdict_;
}

std::string FileCheck::Wait() const {
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return verdict_.has_value(); });
  return *verdict_;
}

void FileCheck::Hold(bool hold) {
  {
    const std::lock_guard lock(CheckHoldMutex());
    checksHeld = hold;
  }
  CheckHoldReleased().notify_all();
}

bool FileCheck::Begin() {
  std::unique_lock lock(CheckHoldMutex());
  CheckHoldReleased().wait(lock, [&] { return !checksHeld || !Working(nullptr); });
  return Working(nullptr);
}

bool FileCheck::Working(sqlite3* db) {
  const std::lock_guard lock(mutex_);
  working_ = db;
  return !stop_;
}

void FileCheck::Run() {
  std::string verdict;
  if (!Begin()) {
    const std::lock_guard lock(mutex_);
    verdict_ = std::move(verdict);
    finished_.notify_all();
    return;
  }
  sqlite3* file = OpenHardened(path_.c_str(), SQLITE_OPEN_READONLY);
  // A file of its own that SQLite deletes once it is closed, in the temporary folder.
  sqlite3* copy = OpenHardened("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (file != nullptr && copy != nullptr && Working(file)) {
    sqlite3_exec(copy, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr,
                 nullptr);
    bool copied = false;
    if (sqlite3_backup* backup = sqlite3_backup_init(copy, "main", file, "main")) {
      int starts = 0;
      int left = -1;
      int rc = SQLITE_OK;
      while (Working(file)) {
        rc = sqlite3_backup_step(backup, kPagesAStep);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
        // More pages left than before: a write came between two steps and the copy began again.
        const int remaining = sqlite3_backup_remaining(backup);
        if (left >= 0 && remaining > left && ++starts > kMostStarts) break;
        left = remaining;
        // A writer waiting for the file gets it between two steps.
        std::this_thread::sleep_for(std::chrono::milliseconds(rc == SQLITE_OK ? 1 : 20));
      }
      copied = rc == SQLITE_DONE;
      sqlite3_backup_finish(backup);
    }
    Working(nullptr);
    sqlite3_close_v2(file);
    file = nullptr;
    if (copied && Working(copy)) {
      std::string failed;
      verdict = QuickCheck(copy, nullptr, failed);
    }
  }
  Working(nullptr);
  sqlite3_close_v2(file);
  sqlite3_close_v2(copy);
  {
    const std::lock_guard lock(mutex_);
    verdict_ = std::move(verdict);
  }
  finished_.notify_all();
}

}  // namespace ornhost::detail
